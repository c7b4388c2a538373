#include "memtable.h"

#include <QDateTime>
#include <QHash>
#include <QSet>
#include <algorithm>
#include <cmath>
#include <limits>

#include "displayformat.h"
#include "formatsettings.h"
#include "lcscommon.h"
#include "tablefilter.h"

// ---- Types ---------------------------------------------------------------------

TValueKind ValueKindOf(TFieldType type)
{
    switch (type) {
    case TFieldType::Float:
    case TFieldType::Currency:
    case TFieldType::BCD:
    case TFieldType::Date:
    case TFieldType::Time:
    case TFieldType::DateTime:
        return TValueKind::Float;
    case TFieldType::String:
    case TFieldType::WideString:
    case TFieldType::Memo:
    case TFieldType::Blob:
    case TFieldType::Unknown:
        return TValueKind::Text;
    default:
        return TValueKind::Int;
    }
}

bool IsIntegerType(TFieldType type) { return ValueKindOf(type) == TValueKind::Int && type != TFieldType::Boolean; }

bool IsDateTimeType(TFieldType type)
{
    return type == TFieldType::Date || type == TFieldType::Time || type == TFieldType::DateTime;
}

QString FieldTypeName(TFieldType type)
{
    switch (type) {
    case TFieldType::Integer: return QStringLiteral("Integer");
    case TFieldType::AutoInc: return QStringLiteral("AutoInc");
    case TFieldType::SmallInt: return QStringLiteral("SmallInt");
    case TFieldType::ShortInt: return QStringLiteral("ShortInt");
    case TFieldType::Byte: return QStringLiteral("Byte");
    case TFieldType::Word: return QStringLiteral("Word");
    case TFieldType::LongWord: return QStringLiteral("LongWord");
    case TFieldType::LargeInt: return QStringLiteral("LargeInt");
    case TFieldType::Boolean: return QStringLiteral("Boolean");
    case TFieldType::Float: return QStringLiteral("Float");
    case TFieldType::Currency: return QStringLiteral("Currency");
    case TFieldType::BCD: return QStringLiteral("BCD");
    case TFieldType::Date: return QStringLiteral("Date");
    case TFieldType::Time: return QStringLiteral("Time");
    case TFieldType::DateTime: return QStringLiteral("DateTime");
    case TFieldType::String: return QStringLiteral("String");
    case TFieldType::WideString: return QStringLiteral("WideString");
    case TFieldType::Memo: return QStringLiteral("Memo");
    case TFieldType::Blob: return QStringLiteral("Blob");
    case TFieldType::Unknown: break;
    }
    return QStringLiteral("Unknown");
}

namespace {
// Range of each integer type: a value outside it is refused, never wrapped.
bool integerFits(TFieldType type, qint64 v)
{
    switch (type) {
    case TFieldType::Integer:
    case TFieldType::AutoInc: return v >= std::numeric_limits<qint32>::min() && v <= std::numeric_limits<qint32>::max();
    case TFieldType::SmallInt: return v >= -32768 && v <= 32767;
    case TFieldType::ShortInt: return v >= -128 && v <= 127;
    case TFieldType::Byte: return v >= 0 && v <= 255;
    case TFieldType::Word: return v >= 0 && v <= 65535;
    case TFieldType::LongWord: return v >= 0 && v <= qint64(0xFFFFFFFFu);
    default: return true;
    }
}

const QString &emptyText()
{
    static const QString empty;
    return empty;
}
} // namespace

// ---- TField ----------------------------------------------------------------------


namespace {
int recordForCurrent(const TMemTable &t)
{
    if (t.state() == TTableState::Insert || t.state() == TTableState::Edit)
        return kEditBuffer;
    return t.currentRecord(); // -1 on an empty view: read as null
}
} // namespace

bool TField::isNull() const { return isNullAt(recordForCurrent(*m_table)); }

bool TField::isNullAt(int record) const
{
    if (record == kEditBuffer)
        return m_table->m_buffer.at(size_t(m_index)).null;
    if (record < 0 || record >= m_table->physicalCount())
        return true;
    return m_table->cellNull(m_index, record);
}

qint64 TField::asLargeIntAt(int record) const
{
    if (isNullAt(record))
        return 0;
    if (record == kEditBuffer) {
        const auto &c = m_table->m_buffer[size_t(m_index)];
        switch (ValueKindOf(m_def.type)) {
        case TValueKind::Int: return c.i;
        case TValueKind::Float: return qint64(std::trunc(c.f));
        case TValueKind::Text: return c.s.trimmed().toLongLong();
        }
    }
    switch (ValueKindOf(m_def.type)) {
    case TValueKind::Int: return m_table->cellInt(m_index, record);
    case TValueKind::Float: return qint64(std::trunc(m_table->cellFloat(m_index, record)));
    case TValueKind::Text: return m_table->cellText(m_index, record).trimmed().toLongLong();
    }
    return 0;
}

double TField::asFloatAt(int record) const
{
    if (isNullAt(record))
        return 0;
    if (record == kEditBuffer) {
        const auto &c = m_table->m_buffer[size_t(m_index)];
        switch (ValueKindOf(m_def.type)) {
        case TValueKind::Int: return double(c.i);
        case TValueKind::Float: return c.f;
        case TValueKind::Text: return c.s.trimmed().toDouble();
        }
    }
    switch (ValueKindOf(m_def.type)) {
    case TValueKind::Int: return double(m_table->cellInt(m_index, record));
    case TValueKind::Float: return m_table->cellFloat(m_index, record);
    case TValueKind::Text: return m_table->cellText(m_index, record).trimmed().toDouble();
    }
    return 0;
}

QString TField::asStringAt(int record) const
{
    if (isNullAt(record))
        return QString();
    if (ValueKindOf(m_def.type) == TValueKind::Text)
        return record == kEditBuffer ? m_table->m_buffer[size_t(m_index)].s : m_table->cellText(m_index, record);
    return formatValue(record, false);
}

QVariant TField::valueAt(int record) const
{
    if (isNullAt(record))
        return QVariant();
    switch (ValueKindOf(m_def.type)) {
    case TValueKind::Int:
        if (m_def.type == TFieldType::Boolean)
            return QVariant(asLargeIntAt(record) != 0);
        return QVariant(asLargeIntAt(record));
    case TValueKind::Float: return QVariant(asFloatAt(record));
    case TValueKind::Text: return QVariant(asStringAt(record));
    }
    return QVariant();
}

QString TField::formatValue(int record, bool displayText) const
{
    if (isNullAt(record))
        return QString();
    const QString &format = displayText ? m_displayFormat : m_editFormat;
    switch (m_def.type) {
    case TFieldType::Boolean:
        return asLargeIntAt(record) ? QStringLiteral("True") : QStringLiteral("False");
    case TFieldType::Float:
    case TFieldType::Currency:
    case TFieldType::BCD: {
        const double v = asFloatAt(record);
        if (!format.isEmpty())
            return FormatNumber(format, v);
        QString s = QString::number(v, 'g', 15);
        s.replace(QLatin1Char('.'), SystemFormats().decimalSeparator);
        return s;
    }
    case TFieldType::Date:
        return format.isEmpty() || !displayText ? FormatShortDate(asFloatAt(record))
                                                : FormatDateTimeValue(format, asFloatAt(record));
    case TFieldType::Time:
        return format.isEmpty() || !displayText ? FormatLongTime(asFloatAt(record))
                                                : FormatDateTimeValue(format, asFloatAt(record));
    case TFieldType::DateTime:
        return format.isEmpty() || !displayText ? FormatDateTimeText(asFloatAt(record))
                                                : FormatDateTimeValue(format, asFloatAt(record));
    default:
        break;
    }
    if (ValueKindOf(m_def.type) == TValueKind::Int) {
        const qint64 v = asLargeIntAt(record);
        return format.isEmpty() ? QString::number(v) : FormatNumber(format, double(v));
    }
    return asStringAt(record);
}

QString TField::displayTextAt(int record) const
{
    if (m_onGetText)
        return m_onGetText(*this, record, true);
    return formatValue(record, true);
}

QString TField::editTextAt(int record) const
{
    if (m_onGetText)
        return m_onGetText(*this, record, false);
    return formatValue(record, false);
}

qint64 TField::asLargeInt() const { return asLargeIntAt(recordForCurrent(*m_table)); }
int TField::asInteger() const { return int(asLargeIntAt(recordForCurrent(*m_table))); }
double TField::asFloat() const { return asFloatAt(recordForCurrent(*m_table)); }
bool TField::asBoolean() const { return asLargeIntAt(recordForCurrent(*m_table)) != 0; }
QString TField::asString() const { return asStringAt(recordForCurrent(*m_table)); }
QVariant TField::value() const { return valueAt(recordForCurrent(*m_table)); }
QString TField::displayText() const { return displayTextAt(recordForCurrent(*m_table)); }
QString TField::text() const { return editTextAt(recordForCurrent(*m_table)); }

int TField::displayWidth() const
{
    if (m_displayWidth > 0)
        return m_displayWidth;
    switch (m_def.type) {
    case TFieldType::String:
    case TFieldType::WideString: return m_def.size > 0 ? m_def.size : 20;
    case TFieldType::Date: return 10;
    case TFieldType::Time: return 10;
    case TFieldType::DateTime: return 18;
    case TFieldType::Memo:
    case TFieldType::Blob: return 10;
    case TFieldType::Boolean: return 5;
    case TFieldType::SmallInt:
    case TFieldType::ShortInt:
    case TFieldType::Byte:
    case TFieldType::Word: return 6;
    case TFieldType::LargeInt: return 15;
    default: return 10;
    }
}

Qt::Alignment TField::alignment() const
{
    if (m_alignmentSet)
        return m_alignment;
    const TValueKind kind = ValueKindOf(m_def.type);
    if (m_def.type != TFieldType::Boolean && !IsDateTimeType(m_def.type)
        && (kind == TValueKind::Int || kind == TValueKind::Float))
        return Qt::AlignRight;
    return Qt::AlignLeft;
}

void TField::setAsInteger(qint64 value)
{
    m_table->checkWritable(*this);
    auto &c = m_table->bufferCell(m_index);
    switch (ValueKindOf(m_def.type)) {
    case TValueKind::Int:
        if (m_def.type == TFieldType::Boolean)
            value = value != 0;
        else if (!integerFits(m_def.type, value))
            throw ETableError(QStringLiteral("%1 is not a valid value for field '%2'. The allowed range is exceeded")
                                  .arg(value).arg(m_def.name));
        c.i = value;
        break;
    case TValueKind::Float: c.f = double(value); break;
    case TValueKind::Text: setAsString(QString::number(value)); return;
    }
    c.null = false;
}

void TField::setAsFloat(double value)
{
    m_table->checkWritable(*this);
    if (!std::isfinite(value))
        throw ETableError(QStringLiteral("Field '%1' cannot hold a value that is not a finite number").arg(m_def.name));
    auto &c = m_table->bufferCell(m_index);
    switch (ValueKindOf(m_def.type)) {
    case TValueKind::Int: {
        const double r = std::round(value);
        if (r < -9.2e18 || r > 9.2e18)
            throw ETableError(QStringLiteral("%1 is not a valid value for field '%2'. The allowed range is exceeded")
                                  .arg(value).arg(m_def.name));
        setAsInteger(qint64(r));
        return;
    }
    case TValueKind::Float: c.f = value; break;
    case TValueKind::Text: setAsString(QString::number(value, 'g', 15)); return;
    }
    c.null = false;
}

void TField::setAsBoolean(bool value) { setAsInteger(value ? 1 : 0); }

void TField::setAsString(const QString &value)
{
    m_table->checkWritable(*this);
    const TValueKind kind = ValueKindOf(m_def.type);
    if (kind == TValueKind::Text) {
        auto &c = m_table->bufferCell(m_index);
        c.s = (m_def.type == TFieldType::String || m_def.type == TFieldType::WideString) && m_def.size > 0
            ? value.left(m_def.size)
            : value;
        c.null = false;
        return;
    }
    const QString t = value.trimmed();
    if (t.isEmpty()) {
        clear();
        return;
    }
    if (IsDateTimeType(m_def.type)) {
        double v = 0;
        if (!ParseDateTimeText(t, v)) {
            if (m_def.type == TFieldType::Time) {
                const QTime time = QTime::fromString(t, SystemFormats().longTimeFormat);
                if (time.isValid()) {
                    setAsFloat(EncodeTime(time.hour(), time.minute(), time.second(), time.msec()));
                    return;
                }
            }
            throw ETableError(ResourceString(rsInvalidDate).arg(value));
        }
        setAsFloat(v);
        return;
    }
    if (m_def.type == TFieldType::Boolean) {
        const QString u = t.toUpper();
        if (u == QLatin1String("TRUE") || u == QLatin1String("1"))
            setAsInteger(1);
        else if (u == QLatin1String("FALSE") || u == QLatin1String("0"))
            setAsInteger(0);
        else
            throw ETableError(QStringLiteral("'%1' is not a valid boolean value for field '%2'").arg(value, m_def.name));
        return;
    }
    if (kind == TValueKind::Int) {
        bool ok = false;
        const qint64 v = t.toLongLong(&ok);
        if (!ok)
            throw ETableError(QStringLiteral("'%1' is not a valid integer value for field '%2'").arg(value, m_def.name));
        setAsInteger(v);
        return;
    }
    QString n = t;
    n.remove(SystemFormats().thousandSeparator);
    n.replace(SystemFormats().decimalSeparator, QLatin1Char('.'));
    bool ok = false;
    const double v = n.toDouble(&ok);
    if (!ok)
        throw ETableError(ResourceString(rsInvalidFloatForField).arg(value, m_def.name));
    setAsFloat(v);
}

void TField::setValue(const QVariant &value)
{
    if (!value.isValid() || value.isNull()) {
        clear();
        return;
    }
    switch (value.typeId()) {
    case QMetaType::Bool: setAsBoolean(value.toBool()); break;
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong: setAsInteger(value.toLongLong()); break;
    case QMetaType::Double:
    case QMetaType::Float: setAsFloat(value.toDouble()); break;
    case QMetaType::QDateTime: setAsFloat(DateTimeToDouble(value.toDateTime())); break;
    case QMetaType::QDate: {
        const QDate d = value.toDate();
        setAsFloat(EncodeDate(d.year(), d.month(), d.day()));
        break;
    }
    default: setAsString(value.toString()); break;
    }
}

void TField::clear()
{
    m_table->checkWritable(*this);
    auto &c = m_table->bufferCell(m_index);
    c = {};
}

// ---- TMemTable: structure ----------------------------------------------------------

TMemTable::TMemTable(QObject *parent) : QObject(parent) {}
TMemTable::~TMemTable() = default;

void TMemTable::addFieldDef(const QString &name, TFieldType type, int size, bool required)
{
    TFieldDef d;
    d.name = name;
    d.type = type;
    d.size = size;
    d.required = required;
    m_fieldDefs.push_back(d);
}

void TMemTable::buildFields()
{
    m_fields.clear();
    m_columns.clear();
    if (m_fieldDefs.size() > size_t(kMaxFields))
        throw ETableError(QStringLiteral("A table holds at most %1 fields").arg(kMaxFields));
    QSet<QString> seen;
    for (size_t i = 0; i < m_fieldDefs.size(); ++i) {
        const TFieldDef &d = m_fieldDefs[i];
        if (d.name.isEmpty())
            throw ETableError(QStringLiteral("Field %1 has no name").arg(i + 1));
        if (d.type == TFieldType::Unknown)
            throw ETableError(QStringLiteral("Field '%1' is of an unknown type").arg(d.name));
        if (seen.contains(d.name.toCaseFolded()))
            throw ETableError(QStringLiteral("Duplicate field name '%1'").arg(d.name));
        seen.insert(d.name.toCaseFolded());
        m_fields.emplace_back(new TField(this, int(i), d));
        Column col;
        col.kind = ValueKindOf(d.type);
        m_columns.push_back(std::move(col));
    }
}

void TMemTable::createDataSet()
{
    if (m_fieldDefs.empty())
        throw ETableError(QStringLiteral("Missing data provider or data packet: no fields are defined"));
    clearStorage();
    buildFields();
    m_state = TTableState::Browse;
    m_autoInc = std::max(m_autoInc, 1);
    // A filter set before (or kept over a close) is compiled against the new fields.
    m_filterExpr.reset();
    if (!m_filterText.trimmed().isEmpty()) {
        try {
            m_filterExpr = TFilterExpr::compile(m_filterText, *this);
        } catch (const ETableError &) {
            m_filterText.clear();
            m_filtered = false;
        }
    }
    invalidateOrder();
    setPosition(0, true, true);
    notifyDataSet();
}

void TMemTable::close()
{
    clearStorage();
    m_fields.clear();
    m_columns.clear();
    m_state = TTableState::Inactive;
    m_filterExpr.reset();
    m_curRecord = -1;
    m_curPos = -1;
    m_bof = m_eof = true;
    invalidateOrder();
    notifyDataSet();
}

void TMemTable::clearStorage()
{
    for (Column &c : m_columns) {
        c.ints.clear();
        c.floats.clear();
        c.texts.clear();
        c.nulls.clear();
    }
    m_serials.clear();
    m_rowCache.clear();
    m_buffer.clear();
    m_editRecord = -1;
    m_curRecord = -1;
}

TField &TMemTable::field(int index) const
{
    if (index < 0 || index >= fieldCount())
        throw ETableError(QStringLiteral("Field index %1 out of range").arg(index));
    return *m_fields[size_t(index)];
}

TField *TMemTable::findField(const QString &name) const
{
    for (const auto &f : m_fields)
        if (f->fieldName().compare(name, Qt::CaseInsensitive) == 0)
            return f.get();
    return nullptr;
}

TField &TMemTable::fieldByName(const QString &name) const
{
    if (TField *f = findField(name))
        return *f;
    throw ETableError(QStringLiteral("Field '%1' not found").arg(name));
}

void TMemTable::requireActive() const
{
    if (!active())
        throw ETableError(QStringLiteral("Cannot perform this operation on a closed dataset"));
}

void TMemTable::requireBrowse(const char *operation) const
{
    requireActive();
    if (m_state != TTableState::Browse)
        throw ETableError(QStringLiteral("Cannot %1 while a record is being inserted or edited")
                              .arg(QLatin1String(operation)));
}

// ---- Storage ------------------------------------------------------------------------------

bool TMemTable::cellNull(int field, int record) const { return m_columns[size_t(field)].nulls[size_t(record)] != 0; }
qint64 TMemTable::cellInt(int field, int record) const { return m_columns[size_t(field)].ints[size_t(record)]; }
double TMemTable::cellFloat(int field, int record) const { return m_columns[size_t(field)].floats[size_t(record)]; }
const QString &TMemTable::cellText(int field, int record) const
{
    const Column &c = m_columns[size_t(field)];
    return c.kind == TValueKind::Text ? c.texts[size_t(record)] : emptyText();
}

int TMemTable::appendRawRecord()
{
    for (Column &c : m_columns) {
        switch (c.kind) {
        case TValueKind::Int: c.ints.push_back(0); break;
        case TValueKind::Float: c.floats.push_back(0); break;
        case TValueKind::Text: c.texts.emplace_back(); break;
        }
        c.nulls.push_back(1);
    }
    m_serials.push_back(m_nextSerial++);
    m_rowCache.emplace_back();
    return int(m_serials.size()) - 1;
}

void TMemTable::reserveRecords(int count)
{
    const size_t n = size_t(std::max(count, 0));
    for (Column &c : m_columns) {
        switch (c.kind) {
        case TValueKind::Int: c.ints.reserve(n); break;
        case TValueKind::Float: c.floats.reserve(n); break;
        case TValueKind::Text: c.texts.reserve(n); break;
        }
        c.nulls.reserve(n);
    }
    m_serials.reserve(n);
    m_rowCache.reserve(n);
}

void TMemTable::setRawInt(int field, int record, qint64 value)
{
    Column &c = m_columns[size_t(field)];
    m_rowCache[size_t(record)].clear();
    c.ints[size_t(record)] = value;
    c.nulls[size_t(record)] = 0;
}

void TMemTable::setRawFloat(int field, int record, double value)
{
    Column &c = m_columns[size_t(field)];
    m_rowCache[size_t(record)].clear();
    c.floats[size_t(record)] = value;
    c.nulls[size_t(record)] = 0;
}

void TMemTable::setRawText(int field, int record, QString value)
{
    Column &c = m_columns[size_t(field)];
    m_rowCache[size_t(record)].clear();
    c.texts[size_t(record)] = std::move(value);
    c.nulls[size_t(record)] = 0;
}

void TMemTable::addCalculatedField(const QString &name, TFieldType type, int size)
{
    if (m_state == TTableState::Insert || m_state == TTableState::Edit)
        throw ETableError(QStringLiteral("Cannot add a field while a record is being inserted or edited"));
    if (findField(name) || std::any_of(m_fieldDefs.begin(), m_fieldDefs.end(), [&](const TFieldDef &d) {
            return d.name.compare(name, Qt::CaseInsensitive) == 0;
        }))
        throw ETableError(QStringLiteral("Duplicate field name '%1'").arg(name));
    TFieldDef d;
    d.name = name;
    d.type = type;
    d.size = size;
    d.calculated = true;
    d.readOnly = true;
    m_fieldDefs.push_back(d);
    if (!active())
        return; // built with the others when the table opens
    appendCalculatedColumn(d);
    recalculateFields();
}

void TMemTable::appendCalculatedColumn(const TFieldDef &d)
{
    m_fields.emplace_back(new TField(this, int(m_fields.size()), d));
    Column col;
    col.kind = ValueKindOf(d.type);
    const size_t rows = m_serials.size();
    switch (col.kind) {
    case TValueKind::Int: col.ints.assign(rows, 0); break;
    case TValueKind::Float: col.floats.assign(rows, 0); break;
    case TValueKind::Text: col.texts.assign(rows, QString()); break;
    }
    col.nulls.assign(rows, 1);
    m_columns.push_back(std::move(col));
}

void TMemTable::calculateRecord(int record)
{
    if (calcFields && record >= 0 && record < physicalCount())
        calcFields(*this, record);
}

void TMemTable::recalculateFields()
{
    if (!active() || !calcFields)
        return;
    const int n = physicalCount();
    for (int r = 0; r < n; ++r)
        calcFields(*this, r);
    // The order or the filter may rest on a calculated field.
    invalidateOrder();
    notifyDataSet();
}

void TMemTable::setCalculatedText(int field, int record, const QString &value)
{
    if (field < 0 || field >= fieldCount() || !m_fields[size_t(field)]->def().calculated)
        throw ETableError(QStringLiteral("Field %1 is not a calculated field").arg(field));
    Column &c = m_columns[size_t(field)];
    if (c.kind != TValueKind::Text || record < 0 || record >= physicalCount())
        throw ETableError(QStringLiteral("Field '%1' holds no text").arg(m_fields[size_t(field)]->fieldName()));
    // The row's file text stays valid: the file does not hold this field.
    c.texts[size_t(record)] = value;
    c.nulls[size_t(record)] = value.isEmpty() ? 1 : 0;
}

void TMemTable::finishLoading()
{
    // A counter at or below an existing identifier would hand out that identifier
    // again (and with it the other row's recording): keep it above them all.
    for (const auto &f : m_fields) {
        if (f->dataType() != TFieldType::AutoInc)
            continue;
        const Column &c = m_columns[size_t(f->index())];
        for (size_t r = 0; r < c.ints.size(); ++r)
            if (!c.nulls[r] && c.ints[r] >= m_autoInc)
                m_autoInc = int(std::min<qint64>(c.ints[r] + 1, std::numeric_limits<int>::max()));
    }
    if (m_autoInc < 1)
        m_autoInc = 1;
    if (calcFields) {
        for (int r = 0; r < physicalCount(); ++r)
            calcFields(*this, r);
    }
    invalidateOrder();
    setPosition(0, true, recordCount() == 0);
    notifyDataSet();
}

void TMemTable::writeCell(int field, const Cell &cell)
{
    Column &c = m_columns[size_t(field)];
    const size_t r = size_t(m_editRecord);
    m_rowCache[r].clear();
    c.nulls[r] = cell.null ? 1 : 0;
    switch (c.kind) {
    case TValueKind::Int: c.ints[r] = cell.null ? 0 : cell.i; break;
    case TValueKind::Float: c.floats[r] = cell.null ? 0 : cell.f; break;
    case TValueKind::Text: c.texts[r] = cell.null ? QString() : cell.s; break;
    }
}

TMemTable::Cell &TMemTable::bufferCell(int field)
{
    return m_buffer.at(size_t(field));
}

void TMemTable::checkWritable(const TField &f) const
{
    requireActive();
    if (m_state != TTableState::Insert && m_state != TTableState::Edit)
        throw ETableError(QStringLiteral("Dataset not in edit or insert mode"));
    if (f.def().readOnly)
        throw ETableError(QStringLiteral("Field '%1' cannot be modified").arg(f.fieldName()));
}

void TMemTable::removeRecordFromStorage(int record)
{
    for (Column &c : m_columns) {
        switch (c.kind) {
        case TValueKind::Int: c.ints.erase(c.ints.begin() + record); break;
        case TValueKind::Float: c.floats.erase(c.floats.begin() + record); break;
        case TValueKind::Text: c.texts.erase(c.texts.begin() + record); break;
        }
        c.nulls.erase(c.nulls.begin() + record);
    }
    m_serials.erase(m_serials.begin() + record);
    m_rowCache.erase(m_rowCache.begin() + record);
}

// ---- Editing ---------------------------------------------------------------------------------

void TMemTable::insert()
{
    requireBrowse("insert");
    if (beforeInsert)
        beforeInsert(*this);
    m_buffer.assign(m_fields.size(), Cell{});
    m_editRecord = -1;
    m_state = TTableState::Insert;
    if (afterInsert)
        afterInsert(*this);
}

void TMemTable::edit()
{
    requireBrowse("edit");
    const int rec = currentRecord();
    if (rec < 0)
        throw ETableError(QStringLiteral("Cannot edit: the dataset is empty"));
    m_buffer.assign(m_fields.size(), Cell{});
    for (size_t i = 0; i < m_fields.size(); ++i) {
        Cell &c = m_buffer[i];
        const Column &col = m_columns[i];
        c.null = col.nulls[size_t(rec)] != 0;
        switch (col.kind) {
        case TValueKind::Int: c.i = col.ints[size_t(rec)]; break;
        case TValueKind::Float: c.f = col.floats[size_t(rec)]; break;
        case TValueKind::Text: c.s = col.texts[size_t(rec)]; break;
        }
    }
    m_editRecord = rec;
    m_state = TTableState::Edit;
}

void TMemTable::cancel()
{
    if (m_state != TTableState::Insert && m_state != TTableState::Edit)
        return;
    m_buffer.clear();
    m_editRecord = -1;
    m_state = TTableState::Browse;
    notifyScroll();
}

void TMemTable::post()
{
    requireActive();
    if (m_state != TTableState::Insert && m_state != TTableState::Edit)
        throw ETableError(QStringLiteral("Dataset not in edit or insert mode"));
    if (beforePost)
        beforePost(*this);
    const bool inserting = m_state == TTableState::Insert;
    // Identifier assigned last, so a refused post uses up no identifier.
    for (size_t i = 0; i < m_fields.size(); ++i) {
        const TField &f = *m_fields[i];
        if (f.def().required && m_buffer[i].null && f.dataType() != TFieldType::AutoInc)
            throw ETableError(QStringLiteral("Field '%1' must have a value").arg(f.fieldName()));
    }
    if (inserting) {
        for (size_t i = 0; i < m_fields.size(); ++i) {
            if (m_fields[i]->dataType() == TFieldType::AutoInc && m_buffer[i].null) {
                if (m_autoInc == std::numeric_limits<int>::max())
                    throw ETableError(QStringLiteral("The identifier counter of field '%1' is exhausted")
                                          .arg(m_fields[i]->fieldName()));
                m_buffer[i].null = false;
                m_buffer[i].i = m_autoInc++;
            }
        }
        m_editRecord = appendRawRecord();
    }
    for (size_t i = 0; i < m_fields.size(); ++i)
        writeCell(int(i), m_buffer[i]);
    calculateRecord(m_editRecord);
    const int record = m_editRecord;
    m_buffer.clear();
    m_editRecord = -1;
    m_state = TTableState::Browse;
    int pos = -1;
    const bool placed = inserting && m_viewValid;
    if (inserting)
        pos = placeAfterInsert(record);
    else
        invalidateOrder();
    m_curRecord = record;
    ensureView();
    if (!placed)
        pos = positionOfRecord(record);
    if (pos >= 0)
        setPosition(pos, false, false);
    else
        setPosition(std::min<int>(std::max(m_curPos, 0), std::max(0, recordCount() - 1)), false, false);
    if (m_curRecord == record && pos >= 0)
        notifyScroll(); // the cursor left the edit buffer for the posted row
    notifyDataSet();
    if (afterPost)
        afterPost(*this);
}

void TMemTable::deleteRecord()
{
    requireBrowse("delete");
    const int rec = currentRecord();
    if (rec < 0)
        throw ETableError(QStringLiteral("Cannot perform this operation on an empty dataset"));
    if (beforeDelete)
        beforeDelete(*this);
    const int pos = m_curPos;
    removeRecordFromStorage(rec);
    // Later records move down by one; the cached order and view follow.
    auto fix = [rec](std::vector<int> &list) {
        list.erase(std::remove(list.begin(), list.end(), rec), list.end());
        for (int &r : list)
            if (r > rec)
                --r;
    };
    if (m_orderValid)
        fix(m_order);
    if (m_viewValid)
        fix(m_view);
    const int count = recordCount();
    m_curRecord = -1;
    if (count == 0)
        setPosition(0, true, true);
    else
        setPosition(std::min(pos, count - 1), false, false);
    notifyDataSet();
    if (afterDelete)
        afterDelete(*this);
}

void TMemTable::emptyTable()
{
    requireBrowse("empty the table");
    clearStorage();
    invalidateOrder();
    setPosition(0, true, true);
    notifyDataSet();
}

void TMemTable::copyFrom(const TMemTable &source)
{
    source.requireActive();
    if (!active()) { // a closed table takes the source's structure
        m_fieldDefs = source.m_fieldDefs;
        createDataSet();
    }
    requireBrowse("copy rows");
    if (source.fieldCount() != fieldCount())
        throw ETableError(QStringLiteral("Cannot copy rows between tables of different structure"));
    for (int i = 0; i < fieldCount(); ++i) {
        const TFieldDef &a = field(i).def();
        const TFieldDef &b = source.field(i).def();
        if (a.name.compare(b.name, Qt::CaseInsensitive) != 0 || ValueKindOf(a.type) != ValueKindOf(b.type))
            throw ETableError(QStringLiteral("Cannot copy rows between tables of different structure"));
    }
    if (&source == this)
        return;
    for (size_t i = 0; i < m_columns.size(); ++i) {
        m_columns[i].ints = source.m_columns[i].ints;
        m_columns[i].floats = source.m_columns[i].floats;
        m_columns[i].texts = source.m_columns[i].texts;
        m_columns[i].nulls = source.m_columns[i].nulls;
    }
    m_serials.clear();
    m_rowCache.clear();
    m_serials.reserve(source.m_serials.size());
    for (size_t i = 0; i < source.m_serials.size(); ++i)
        m_serials.push_back(m_nextSerial++);
    bool sameFile = true; // the cached row texts hold names and value forms
    for (int i = 0; i < fieldCount(); ++i)
        sameFile = sameFile && field(i).def().name == source.field(i).def().name
            && field(i).dataType() == source.field(i).dataType();
    if (sameFile)
        m_rowCache = source.m_rowCache;
    else
        m_rowCache.assign(m_serials.size(), QByteArray());
    m_autoInc = std::max(m_autoInc, source.m_autoInc);
    m_curRecord = -1;
    invalidateOrder();
    setPosition(0, true, recordCount() == 0);
    notifyDataSet();
}

// ---- Order ---------------------------------------------------------------------------------

void TMemTable::setIndexFieldNames(const QString &names)
{
    if (!names.trimmed().isEmpty()) {
        for (const QString &n : names.split(QLatin1Char(';'), Qt::SkipEmptyParts))
            if (active() && !findField(n.trimmed()))
                throw ETableError(QStringLiteral("Field '%1' not found").arg(n.trimmed()));
    }
    m_indexFieldNames = names.trimmed();
    m_indexName.clear();
    invalidateOrder();
    notifyDataSet();
}

void TMemTable::setIndexName(const QString &name)
{
    if (!name.isEmpty() && !findIndex(name))
        throw ETableError(QStringLiteral("Index '%1' not found").arg(name));
    m_indexName = name;
    m_indexFieldNames.clear();
    invalidateOrder();
    notifyDataSet();
}

void TMemTable::addIndex(const QString &name, const QString &fields, bool descending, bool caseInsensitive)
{
    if (name.isEmpty())
        throw ETableError(QStringLiteral("An index needs a name"));
    if (findIndex(name))
        throw ETableError(QStringLiteral("Index '%1' already exists").arg(name));
    if (active() && !findField(fields.trimmed()))
        throw ETableError(QStringLiteral("Field '%1' not found").arg(fields.trimmed()));
    m_indexDefs.push_back({name, fields.trimmed(), descending, caseInsensitive});
}

void TMemTable::deleteIndex(const QString &name)
{
    if (m_indexName.compare(name, Qt::CaseInsensitive) == 0)
        setIndexName(QString());
    m_indexDefs.erase(std::remove_if(m_indexDefs.begin(), m_indexDefs.end(),
                                     [&](const TIndexDef &d) { return d.name.compare(name, Qt::CaseInsensitive) == 0; }),
                      m_indexDefs.end());
}

const TIndexDef *TMemTable::findIndex(const QString &name) const
{
    for (const TIndexDef &d : m_indexDefs)
        if (d.name.compare(name, Qt::CaseInsensitive) == 0)
            return &d;
    return nullptr;
}

std::vector<TMemTable::SortKey> TMemTable::sortKeys() const
{
    std::vector<SortKey> keys;
    if (!m_indexName.isEmpty()) {
        if (const TIndexDef *d = findIndex(m_indexName))
            if (const TField *f = findField(d->fields))
                keys.push_back({f->index(), d->descending, d->caseInsensitive});
        return keys;
    }
    for (const QString &n : m_indexFieldNames.split(QLatin1Char(';'), Qt::SkipEmptyParts))
        if (const TField *f = findField(n.trimmed()))
            keys.push_back({f->index(), false, false});
    return keys;
}

TField *TMemTable::orderField() const
{
    const auto keys = sortKeys();
    return keys.empty() ? nullptr : m_fields[size_t(keys.front().field)].get();
}

int TMemTable::compareRecords(const std::vector<SortKey> &keys, int a, int b) const
{
    for (const SortKey &k : keys) {
        const Column &c = m_columns[size_t(k.field)];
        const bool na = c.nulls[size_t(a)] != 0, nb = c.nulls[size_t(b)] != 0;
        int r = 0;
        if (na || nb) {
            r = na == nb ? 0 : (na ? -1 : 1); // empty values first
        } else {
            switch (c.kind) {
            case TValueKind::Int: {
                const qint64 x = c.ints[size_t(a)], y = c.ints[size_t(b)];
                r = x < y ? -1 : (x > y ? 1 : 0);
                break;
            }
            case TValueKind::Float: {
                const double x = c.floats[size_t(a)], y = c.floats[size_t(b)];
                r = x < y ? -1 : (x > y ? 1 : 0);
                break;
            }
            case TValueKind::Text:
                r = c.texts[size_t(a)].compare(c.texts[size_t(b)],
                                               k.caseInsensitive ? Qt::CaseInsensitive : Qt::CaseSensitive);
                r = r < 0 ? -1 : (r > 0 ? 1 : 0);
                break;
            }
        }
        if (r != 0)
            return k.descending ? -r : r;
    }
    return 0;
}

void TMemTable::invalidateOrder()
{
    m_orderValid = false;
    m_viewValid = false;
}

void TMemTable::invalidateView() { m_viewValid = false; }

namespace {
// Sorts the keyed rows stably; empty values first when ascending, last when descending.
template <typename Key, typename Less>
void sortKeyed(std::vector<int> &order, const std::vector<uint8_t> &nulls, const std::vector<Key> &keys,
               bool descending, Less less)
{
    std::vector<std::pair<Key, int>> keyed;
    std::vector<int> empty;
    keyed.reserve(order.size());
    for (int r : order) {
        if (nulls[size_t(r)])
            empty.push_back(r);
        else
            keyed.emplace_back(keys[size_t(r)], r);
    }
    if (descending)
        std::stable_sort(keyed.begin(), keyed.end(), [&](const auto &a, const auto &b) { return less(b.first, a.first); });
    else
        std::stable_sort(keyed.begin(), keyed.end(), [&](const auto &a, const auto &b) { return less(a.first, b.first); });
    order.clear();
    if (!descending)
        order.insert(order.end(), empty.begin(), empty.end());
    for (const auto &k : keyed)
        order.push_back(k.second);
    if (descending)
        order.insert(order.end(), empty.begin(), empty.end());
}

// Text keys. Columns with few distinct values (call type names) sort the distinct
// values once and then the rows by rank; others compare the texts themselves,
// folded once when letter case is ignored (texts without capitals share their data).
void sortTextColumn(std::vector<int> &order, const std::vector<uint8_t> &nulls, const std::vector<QString> &texts,
                    bool descending, bool caseInsensitive)
{
    const size_t n = texts.size();
    std::vector<QString> folded;
    const std::vector<QString> *keys = &texts;
    auto keyOf = [&](size_t i) -> const QString & { return (*keys)[i]; };

    // A sample of the rows tells whether ranking pays.
    QHash<QStringView, int> distinct;
    const size_t sample = std::min<size_t>(n, 2000);
    for (size_t i = 0; i < sample; ++i)
        if (!nulls[i])
            distinct.insert(QStringView(texts[i]), 0);
    const bool ranked = sample > 0 && size_t(distinct.size()) * 8 < sample;
    if (ranked) {
        distinct.clear();
        std::vector<int> idOf(n, 0);
        std::vector<QStringView> values;
        for (size_t i = 0; i < n; ++i) {
            if (nulls[i])
                continue;
            const QStringView text(texts[i]);
            int id = -1;
            if (values.size() <= 16) { // a handful of values: looking them over beats hashing
                for (size_t v = 0; v < values.size() && id < 0; ++v)
                    if (values[v] == text)
                        id = int(v);
            } else if (const auto it = distinct.constFind(text); it != distinct.constEnd()) {
                id = *it;
            }
            if (id < 0) {
                id = int(values.size());
                values.push_back(text);
                if (values.size() == 17)
                    for (size_t v = 0; v < values.size(); ++v)
                        distinct.insert(values[v], int(v));
                else if (values.size() > 17)
                    distinct.insert(text, id);
            }
            idOf[i] = id;
        }
        std::vector<QString> valueKeys;
        for (QStringView v : values)
            valueKeys.push_back(caseInsensitive ? v.toString().toCaseFolded() : v.toString());
        std::vector<int> byValue(values.size());
        for (size_t i = 0; i < byValue.size(); ++i)
            byValue[i] = int(i);
        std::sort(byValue.begin(), byValue.end(),
                  [&](int a, int b) { return valueKeys[size_t(a)] < valueKeys[size_t(b)]; });
        // Equal keys (texts differing only in case) share a rank.
        std::vector<int> rankOf(values.size(), 0);
        int rank = 0;
        for (size_t i = 0; i < byValue.size(); ++i) {
            if (i > 0 && valueKeys[size_t(byValue[i])] != valueKeys[size_t(byValue[i - 1])])
                ++rank;
            rankOf[size_t(byValue[i])] = rank;
        }
        std::vector<int> rowRank(n, 0);
        for (size_t i = 0; i < n; ++i)
            rowRank[i] = rankOf[size_t(idOf[i])];
        sortKeyed(order, nulls, rowRank, descending, std::less<int>());
        return;
    }
    if (caseInsensitive) {
        folded.resize(n);
        for (size_t i = 0; i < n; ++i)
            folded[i] = texts[i].toCaseFolded();
        keys = &folded;
    }
    // Radix-like: sort by a few characters packed into one integer, then sort each
    // run of equal keys by the next characters, until the texts end. Stable at
    // every step, so equal texts keep their insertion order.
    bool narrow = true;
    for (size_t i = 0; i < n && narrow; ++i)
        for (QChar c : keyOf(i))
            if (c.unicode() >= 256) {
                narrow = false;
                break;
            }
    const int width = narrow ? 8 : 16;
    const qsizetype chars = 64 / width;
    struct Item {
        quint64 key;
        int row;
    };
    std::vector<Item> items;
    std::vector<int> empty;
    items.reserve(n);
    for (int r : order) {
        if (nulls[size_t(r)])
            empty.push_back(r);
        else
            items.push_back({0, r});
    }
    auto pack = [&](const QString &t, qsizetype offset) {
        quint64 k = 0;
        for (qsizetype j = offset; j < offset + chars; ++j)
            k = (k << width) | (j < t.size() ? t[j].unicode() : 0u);
        return k;
    };
    // Runs still to sort, kept on a list of our own: two long equal texts would
    // otherwise nest one call per few characters.
    struct Run {
        size_t begin, end;
        qsizetype offset;
    };
    std::vector<Run> runs;
    if (!items.empty())
        runs.push_back({0, items.size(), 0});
    while (!runs.empty()) {
        const Run run = runs.back();
        runs.pop_back();
        bool more = false;
        for (size_t i = run.begin; i < run.end; ++i) {
            const QString &t = keyOf(size_t(items[i].row));
            items[i].key = pack(t, run.offset);
            more = more || t.size() > run.offset + chars;
        }
        const auto first = items.begin() + qsizetype(run.begin), last = items.begin() + qsizetype(run.end);
        if (descending)
            std::stable_sort(first, last, [](const Item &x, const Item &y) { return x.key > y.key; });
        else
            std::stable_sort(first, last, [](const Item &x, const Item &y) { return x.key < y.key; });
        if (!more)
            continue;
        for (size_t i = run.begin; i < run.end;) {
            size_t j = i + 1;
            while (j < run.end && items[j].key == items[i].key)
                ++j;
            if (j - i > 1)
                runs.push_back({i, j, run.offset + chars});
            i = j;
        }
    }
    order.clear();
    if (!descending)
        order.insert(order.end(), empty.begin(), empty.end());
    for (const Item &it : items)
        order.push_back(it.row);
    if (descending)
        order.insert(order.end(), empty.begin(), empty.end());
}
} // namespace

void TMemTable::rebuildOrder() const
{
    const int n = physicalCount();
    m_order.resize(size_t(n));
    for (int i = 0; i < n; ++i)
        m_order[size_t(i)] = i;
    const auto keys = sortKeys();
    if (keys.size() == 1) {
        // One field (every grid order): sort (key, row) pairs, which keeps the
        // comparisons in cache instead of reaching into the columns each time.
        const SortKey k = keys.front();
        const Column &c = m_columns[size_t(k.field)];
        switch (c.kind) {
        case TValueKind::Int:
            sortKeyed(m_order, c.nulls, c.ints, k.descending, std::less<qint64>());
            break;
        case TValueKind::Float:
            sortKeyed(m_order, c.nulls, c.floats, k.descending, std::less<double>());
            break;
        case TValueKind::Text:
            sortTextColumn(m_order, c.nulls, c.texts, k.descending, k.caseInsensitive);
            break;
        }
    } else if (!keys.empty()) {
        std::stable_sort(m_order.begin(), m_order.end(), [&](int a, int b) { return compareRecords(keys, a, b) < 0; });
    }
    m_orderValid = true;
    m_viewValid = false;
}

bool TMemTable::passes(int record) const
{
    return !m_filtered || !m_filterExpr || m_filterExpr->matches(*this, record);
}

void TMemTable::rebuildView() const
{
    if (!m_orderValid)
        rebuildOrder();
    if (!m_filtered || !m_filterExpr) {
        m_view = m_order;
    } else {
        m_view.clear();
        m_view.reserve(m_order.size());
        for (int r : m_order)
            if (m_filterExpr->matches(*this, r))
                m_view.push_back(r);
    }
    m_viewValid = true;
    // The cursor stays on its row when that row is still visible.
    if (m_curRecord >= 0) {
        const int pos = positionOfRecord(m_curRecord);
        if (pos >= 0) {
            m_curPos = pos;
            return;
        }
    }
    m_curPos = m_view.empty() ? -1 : std::clamp(m_curPos, 0, int(m_view.size()) - 1);
    m_curRecord = m_curPos >= 0 ? m_view[size_t(m_curPos)] : -1;
}

void TMemTable::ensureView() const
{
    if (!m_viewValid)
        rebuildView();
}

int TMemTable::placeAfterInsert(int record)
{
    // A new row goes after every equal key, as a stable sort would put it.
    const auto keys = sortKeys();
    auto less = [&](int a, int b) { return compareRecords(keys, a, b) < 0; };
    if (m_orderValid) {
        auto it = keys.empty() ? m_order.end() : std::upper_bound(m_order.begin(), m_order.end(), record, less);
        m_order.insert(it, record);
    }
    if (!m_viewValid || !passes(record))
        return -1;
    auto it = keys.empty() ? m_view.end() : std::upper_bound(m_view.begin(), m_view.end(), record, less);
    const int at = int(it - m_view.begin());
    m_view.insert(it, record);
    if (m_curPos >= at)
        ++m_curPos; // the cursor's row moved one place down
    return at;
}

int TMemTable::positionOfRecord(int record) const
{
    if (record < 0)
        return -1;
    const auto it = std::find(m_view.begin(), m_view.end(), record);
    return it == m_view.end() ? -1 : int(it - m_view.begin());
}

// ---- Filter ------------------------------------------------------------------------------------

void TMemTable::setFilter(const QString &expression)
{
    std::unique_ptr<TFilterExpr> compiled;
    if (!expression.trimmed().isEmpty())
        compiled = TFilterExpr::compile(expression, *this);
    m_filterText = expression;
    m_filterExpr = std::move(compiled);
    if (m_filtered) {
        invalidateView();
        notifyDataSet();
    }
}

void TMemTable::setFiltered(bool on)
{
    if (m_filtered == on)
        return;
    m_filtered = on;
    invalidateView();
    notifyDataSet();
}

int TMemTable::countMatching(const QString &expression) const
{
    requireActive();
    if (expression.trimmed().isEmpty())
        return physicalCount();
    const auto expr = TFilterExpr::compile(expression, *this);
    int n = 0;
    for (int r = 0; r < physicalCount(); ++r)
        if (expr->matches(*this, r))
            ++n;
    return n;
}

// ---- Navigation -----------------------------------------------------------------------------------

int TMemTable::recordCount() const
{
    if (!active())
        return 0;
    ensureView();
    return int(m_view.size());
}

int TMemTable::currentRecord() const
{
    if (!active())
        return -1;
    ensureView();
    return m_curRecord;
}

int TMemTable::viewRecord(int position) const
{
    ensureView();
    if (position < 0 || position >= int(m_view.size()))
        return -1;
    return m_view[size_t(position)];
}

int TMemTable::viewPosition(int record) const
{
    ensureView();
    return positionOfRecord(record);
}

int TMemTable::recNo() const
{
    if (!active())
        return 0;
    ensureView();
    return m_curPos < 0 ? 0 : m_curPos + 1;
}

void TMemTable::setPosition(int position, bool bof, bool eof)
{
    ensureView();
    const int before = m_curRecord;
    if (m_view.empty()) {
        m_curPos = -1;
        m_curRecord = -1;
        m_bof = m_eof = true;
    } else {
        m_curPos = std::clamp(position, 0, int(m_view.size()) - 1);
        m_curRecord = m_view[size_t(m_curPos)];
        m_bof = bof;
        m_eof = eof;
    }
    if (before != m_curRecord || m_view.empty())
        notifyScroll();
}

void TMemTable::first()
{
    requireBrowse("move");
    setPosition(0, true, recordCount() == 0);
}

void TMemTable::last()
{
    requireBrowse("move");
    setPosition(recordCount() - 1, recordCount() == 0, true);
}

void TMemTable::next()
{
    requireBrowse("move");
    const int n = recordCount();
    if (m_curPos + 1 >= n)
        setPosition(n - 1, n == 0, true);
    else
        setPosition(m_curPos + 1, false, false);
}

void TMemTable::prior()
{
    requireBrowse("move");
    if (m_curPos <= 0)
        setPosition(0, true, recordCount() == 0);
    else
        setPosition(m_curPos - 1, false, false);
}

void TMemTable::moveBy(int distance)
{
    requireBrowse("move");
    const int n = recordCount();
    const long long target = (long long)m_curPos + distance;
    if (target < 0)
        setPosition(0, true, n == 0);
    else if (target >= n)
        setPosition(n - 1, n == 0, true);
    else
        setPosition(int(target), false, false);
}

void TMemTable::setRecNo(int recNo)
{
    requireBrowse("move");
    setPosition(recNo - 1, false, false);
}

bool TMemTable::findNearest(const QVariant &value)
{
    requireBrowse("search");
    const auto keys = sortKeys();
    if (keys.empty())
        throw ETableError(QStringLiteral("The table has no order to search in"));
    ensureView();
    const SortKey key = keys.front();
    const TField &f = *m_fields[size_t(key.field)];
    const Column &c = m_columns[size_t(key.field)];
    // The searched value, in the field's own kind.
    const QString text = value.toString();
    qint64 iv = 0;
    double fv = 0;
    QString sv;
    switch (c.kind) {
    case TValueKind::Int: {
        bool ok = false;
        iv = value.typeId() == QMetaType::QString ? text.trimmed().toLongLong(&ok) : value.toLongLong(&ok);
        if (!ok)
            throw ETableError(QStringLiteral("'%1' is not a valid integer value for field '%2'").arg(text, f.fieldName()));
        break;
    }
    case TValueKind::Float:
        if (value.typeId() == QMetaType::QString) {
            if (IsDateTimeType(f.dataType())) {
                if (!ParseDateTimeText(text, fv))
                    throw ETableError(ResourceString(rsInvalidDate).arg(text));
            } else {
                QString n = text.trimmed();
                n.replace(SystemFormats().decimalSeparator, QLatin1Char('.'));
                bool ok = false;
                fv = n.toDouble(&ok);
                if (!ok)
                    throw ETableError(ResourceString(rsInvalidFloatForField).arg(text, f.fieldName()));
            }
        } else {
            fv = value.toDouble();
        }
        break;
    case TValueKind::Text: sv = text; break;
    }
    auto before = [&](int rec) { // true while the row comes before the searched value
        if (c.nulls[size_t(rec)])
            return true; // empty values come first
        int r = 0;
        switch (c.kind) {
        case TValueKind::Int: r = c.ints[size_t(rec)] < iv ? -1 : (c.ints[size_t(rec)] > iv ? 1 : 0); break;
        case TValueKind::Float: r = c.floats[size_t(rec)] < fv ? -1 : (c.floats[size_t(rec)] > fv ? 1 : 0); break;
        case TValueKind::Text:
            r = c.texts[size_t(rec)].compare(sv, key.caseInsensitive ? Qt::CaseInsensitive : Qt::CaseSensitive);
            break;
        }
        return key.descending ? r > 0 : r < 0;
    };
    const auto it = std::partition_point(m_view.begin(), m_view.end(), before);
    if (it == m_view.end()) {
        setPosition(int(m_view.size()) - 1, m_view.empty(), true);
        return false;
    }
    setPosition(int(it - m_view.begin()), false, false);
    return true;
}

TBookmark TMemTable::bookmark() const
{
    const int rec = currentRecord();
    return rec < 0 ? kNoBookmark : m_serials[size_t(rec)];
}

bool TMemTable::bookmarkValid(TBookmark bookmark) const
{
    if (bookmark == kNoBookmark || !active())
        return false;
    ensureView();
    return std::any_of(m_view.begin(), m_view.end(), [&](int r) { return m_serials[size_t(r)] == bookmark; });
}

void TMemTable::gotoBookmark(TBookmark bookmark)
{
    requireBrowse("move");
    ensureView();
    for (size_t i = 0; i < m_view.size(); ++i)
        if (m_serials[size_t(m_view[i])] == bookmark && bookmark != kNoBookmark) {
            setPosition(int(i), false, false);
            return;
        }
    throw ETableError(QStringLiteral("Record not found"));
}

// ---- The remembered row ------------------------------------------------------------------------

TKeptRow::TKeptRow(TMemTable &table, bool quietScroll) : m_table(table), m_quietScroll(quietScroll)
{
    if (m_quietScroll) {
        m_afterScroll = std::move(m_table.afterScroll);
        m_table.afterScroll = nullptr;
    }
    m_table.disableControls();
    m_mark = m_table.bookmark();
}

TKeptRow::~TKeptRow()
{
    // A row deleted or filtered out meanwhile cannot be returned to; nor can the cursor
    // move while a row is still being edited.
    if (m_table.state() == TTableState::Browse && m_table.bookmarkValid(m_mark)) {
        try {
            m_table.gotoBookmark(m_mark);
        } catch (const Exception &) {
        }
    }
    m_table.freeBookmark(m_mark);
    m_table.enableControls();
    if (m_quietScroll)
        m_table.afterScroll = std::move(m_afterScroll);
}

// ---- Notifications ---------------------------------------------------------------------------

void TMemTable::disableControls() { ++m_disableCount; }

void TMemTable::enableControls()
{
    if (m_disableCount == 0)
        return;
    if (--m_disableCount > 0)
        return;
    if (m_pendingDataSet) {
        m_pendingDataSet = false;
        m_pendingScroll = false;
        emit dataSetChanged();
        emit currentChanged();
    } else if (m_pendingScroll) {
        m_pendingScroll = false;
        emit currentChanged();
    }
}

void TMemTable::notifyScroll()
{
    if (afterScroll && m_state == TTableState::Browse)
        afterScroll(*this);
    if (m_disableCount > 0)
        m_pendingScroll = true;
    else
        emit currentChanged();
}

void TMemTable::notifyDataSet()
{
    if (m_disableCount > 0)
        m_pendingDataSet = true;
    else
        emit dataSetChanged();
}

void TMemTable::replaceContent(TMemTable &loaded)
{
    if (m_state == TTableState::Insert || m_state == TTableState::Edit)
        throw ETableError(QStringLiteral("Cannot load while a record is being inserted or edited"));
    std::vector<TFieldDef> calculated;
    for (const TFieldDef &d : m_fieldDefs)
        if (d.calculated)
            calculated.push_back(d);
    m_fieldDefs = loaded.m_fieldDefs;
    // A file field of a calculated field's name wins: the file's data is never dropped.
    std::erase_if(calculated, [&](const TFieldDef &c) {
        return std::any_of(m_fieldDefs.begin(), m_fieldDefs.end(),
                           [&](const TFieldDef &d) { return d.name.compare(c.name, Qt::CaseInsensitive) == 0; });
    });
    buildFields();
    m_columns = std::move(loaded.m_columns);
    m_serials.resize(loaded.m_serials.size()); // the row count the calculated columns need
    for (const TFieldDef &d : calculated) {
        m_fieldDefs.push_back(d);
        appendCalculatedColumn(d);
    }
    m_serials.clear();
    m_rowCache.clear();
    m_serials.reserve(loaded.m_serials.size());
    for (size_t i = 0; i < loaded.m_serials.size(); ++i)
        m_serials.push_back(m_nextSerial++);
    // The reader keeps each row's text from the file: the first save need not build it.
    m_rowCache = std::move(loaded.m_rowCache);
    m_rowCache.resize(m_serials.size());
    m_autoInc = loaded.m_autoInc;
    m_extraParams = loaded.m_extraParams;
    m_buffer.clear();
    m_editRecord = -1;
    m_state = TTableState::Browse;
    loaded.close();
    if (!m_filterText.trimmed().isEmpty()) {
        try {
            m_filterExpr = TFilterExpr::compile(m_filterText, *this);
        } catch (const ETableError &) {
            m_filterExpr.reset();
            m_filterText.clear();
            m_filtered = false;
        }
    }
    m_curRecord = -1;
    m_curPos = -1;
    finishLoading();
}
