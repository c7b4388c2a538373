#pragma once
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "exception.h"

// The in-memory table: typed fields, rows kept in insertion order, an order
// (field list or named index), a filter expression, a current row with
// navigation and bookmarks, and the XML data-packet file (datapacket.h).
//
// Rows are stored column by column; a record number is the row's position in
// insertion order (0-based) and changes when an earlier row is deleted. The
// view is the list of records that pass the filter, in the current order; the
// current row, the record count and navigation all work on the view.

class TMemTable;
class TFilterExpr;

class ETableError : public Exception {
public:
    using Exception::Exception;
};

enum class TFieldType {
    Unknown,
    Integer,  // i4
    AutoInc,  // i4 with the subtype Autoinc
    SmallInt, // i2
    ShortInt, // i1
    Byte,     // ui1
    Word,     // ui2
    LongWord, // ui4
    LargeInt, // i8
    Boolean,
    Float,    // r8
    Currency, // r8 with the subtype Money
    BCD,      // fixed
    Date,
    Time,
    DateTime,
    String,     // single-byte text with a width
    WideString, // string.uni
    Memo,       // bin.hex with the subtype Text
    Blob,       // bin.hex
};

// How a value is held: integer types share 64-bit storage, dates and floats double storage.
enum class TValueKind { Int, Float, Text };
TValueKind ValueKindOf(TFieldType type);
bool IsIntegerType(TFieldType type);
bool IsDateTimeType(TFieldType type); // Date, Time, DateTime
QString FieldTypeName(TFieldType type);

struct TFieldDef {
    QString name;
    TFieldType type = TFieldType::Unknown;
    int size = 0;      // width of text fields, digits of BCD
    int decimals = 0;  // BCD
    QString subtype;   // as the file names it ("Autoinc", "Money", "Text", ...)
    bool required = false;
    bool readOnly = false;
    bool hidden = false;
    // Held in memory only: its values come from the table's calcFields hook, and the
    // file neither stores nor declares it.
    bool calculated = false;
};

// The record a field value is read from: a row of the table, or the edit buffer.
constexpr int kEditBuffer = -2; // distinct from -1, "no row"

class TField {
public:
    // Text hook: (field, record, displayText) -> the text shown; displayText is
    // false when the text is wanted for editing.
    using GetTextHook = std::function<QString(const TField &field, int record, bool displayText)>;

    const QString &fieldName() const { return m_def.name; }
    TFieldType dataType() const { return m_def.type; }
    int size() const { return m_def.size; }
    int index() const { return m_index; }
    const TFieldDef &def() const { return m_def; }
    TMemTable &table() const { return *m_table; }

    // Values of the current record (the edit buffer while inserting or editing).
    bool isNull() const;
    qint64 asLargeInt() const;
    int asInteger() const;
    double asFloat() const;
    double asDateTime() const { return asFloat(); }
    bool asBoolean() const;
    QString asString() const;
    QVariant value() const;
    void setAsInteger(qint64 value);
    void setAsFloat(double value);
    void setAsDateTime(double value) { setAsFloat(value); }
    void setAsBoolean(bool value);
    void setAsString(const QString &value);
    void setValue(const QVariant &value);
    void clear();

    // Values of a given record, for item models and writers that must not move the cursor.
    bool isNullAt(int record) const;
    qint64 asLargeIntAt(int record) const;
    double asFloatAt(int record) const;
    QString asStringAt(int record) const;
    QVariant valueAt(int record) const;
    QString displayTextAt(int record) const;
    QString editTextAt(int record) const;
    QString displayText() const;
    QString text() const; // the edit text

    // Display properties for grids and writers.
    QString displayLabel() const { return m_displayLabel.isEmpty() ? m_def.name : m_displayLabel; }
    void setDisplayLabel(const QString &label) { m_displayLabel = label; }
    bool visible() const { return m_visible; }
    void setVisible(bool visible) { m_visible = visible; }
    int displayWidth() const;
    void setDisplayWidth(int width) { m_displayWidth = width; }
    Qt::Alignment alignment() const;
    void setAlignment(Qt::Alignment alignment) { m_alignment = alignment; m_alignmentSet = true; }
    const QString &displayFormat() const { return m_displayFormat; }
    void setDisplayFormat(const QString &format) { m_displayFormat = format; }
    const QString &editFormat() const { return m_editFormat; }
    void setEditFormat(const QString &format) { m_editFormat = format; }
    const GetTextHook &onGetText() const { return m_onGetText; }
    void setOnGetText(GetTextHook hook) { m_onGetText = std::move(hook); }

private:
    friend class TMemTable;
    TField(TMemTable *table, int index, TFieldDef def)
        : m_table(table), m_index(index), m_def(std::move(def)), m_visible(!m_def.hidden) {}
    QString formatValue(int record, bool displayText) const;

    TMemTable *m_table;
    int m_index;
    TFieldDef m_def;
    QString m_displayLabel;
    bool m_visible = true;
    int m_displayWidth = 0;
    Qt::Alignment m_alignment = Qt::AlignLeft;
    bool m_alignmentSet = false;
    QString m_displayFormat;
    QString m_editFormat;
    GetTextHook m_onGetText;
};

// A named index over one field: descending and/or ignoring letter case.
struct TIndexDef {
    QString name;
    QString fields; // one field name
    bool descending = false;
    bool caseInsensitive = false;
};

// A remembered row: survives reordering, filtering and other rows' deletion.
using TBookmark = quint64;
constexpr TBookmark kNoBookmark = 0;

enum class TTableState { Inactive, Browse, Insert, Edit };

class TMemTable : public QObject {
    Q_OBJECT
public:
    static constexpr int kMaxFields = 1024;
    using Hook = std::function<void(TMemTable &table)>;

    explicit TMemTable(QObject *parent = nullptr);
    ~TMemTable() override;

    // ---- Structure ------------------------------------------------------------
    std::vector<TFieldDef> &fieldDefs() { return m_fieldDefs; }
    const std::vector<TFieldDef> &fieldDefs() const { return m_fieldDefs; }
    void addFieldDef(const QString &name, TFieldType type, int size = 0, bool required = false);
    // Creates an empty, open table from the field definitions.
    void createDataSet();
    void close();
    bool active() const { return m_state != TTableState::Inactive; }
    TTableState state() const { return m_state; }
    int fieldCount() const { return int(m_fields.size()); }
    TField &field(int index) const;
    TField &fieldByName(const QString &name) const; // raises when there is none
    TField *findField(const QString &name) const;
    int autoIncValue() const { return m_autoInc; }
    void setAutoIncValue(int value) { m_autoInc = value; }
    // Table properties of the file other than the identifier counter, kept for saving.
    QList<std::pair<QString, QString>> &extraParams() { return m_extraParams; }
    const QList<std::pair<QString, QString>> &extraParams() const { return m_extraParams; }

    // ---- Rows and editing -----------------------------------------------------------
    int physicalCount() const { return int(m_serials.size()); }
    void insert();
    void append() { insert(); }
    void edit();
    void post();
    void cancel();
    void deleteRecord();
    // Every change is final when posted; nothing is held back.
    void mergeChangeLog() {}
    // Replaces every row with all rows of the other table (regardless of its filter);
    // a closed table first takes the other table's structure.
    void copyFrom(const TMemTable &source);
    void emptyTable();

    Hook beforeInsert, afterInsert, beforePost, afterPost, beforeDelete, afterDelete, afterScroll;

    // ---- Calculated fields ------------------------------------------------------------
    // Adds a field held in memory only (TFieldDef::calculated); an open table gets it with
    // every row's value computed at once. Loading a file keeps it.
    void addCalculatedField(const QString &name, TFieldType type, int size = 0);
    // Fills the calculated fields of one record with setCalculated*; runs for every posted
    // row, for every loaded row and for every row on recalculateFields.
    using CalcHook = std::function<void(TMemTable &table, int record)>;
    CalcHook calcFields;
    // Computes every row's calculated fields anew (their source changed); bound views follow.
    void recalculateFields();
    void setCalculatedText(int field, int record, const QString &value);

    // ---- Order ----------------------------------------------------------------------
    QString indexFieldNames() const { return m_indexFieldNames; }
    // Field names separated by ";", ascending; selecting it clears the index name.
    void setIndexFieldNames(const QString &names);
    QString indexName() const { return m_indexName; }
    void setIndexName(const QString &name);
    const std::vector<TIndexDef> &indexDefs() const { return m_indexDefs; }
    void addIndex(const QString &name, const QString &fields, bool descending, bool caseInsensitive);
    void deleteIndex(const QString &name);
    const TIndexDef *findIndex(const QString &name) const;
    void updateIndexDefs() {}
    // The first field of the current order, or nullptr when the table is unordered.
    TField *orderField() const;

    // ---- Filter -----------------------------------------------------------------------
    QString filter() const { return m_filterText; }
    // Parses at once; a malformed expression raises and leaves the old filter in force.
    void setFilter(const QString &expression);
    bool filtered() const { return m_filtered; }
    void setFiltered(bool on);
    // Counts the rows that pass an expression without changing the table's filter.
    int countMatching(const QString &expression) const;

    // ---- Navigation over the view -------------------------------------------------------
    int recordCount() const;
    bool isEmpty() const { return recordCount() == 0; }
    void first();
    void last();
    void next();
    void prior();
    void moveBy(int distance);
    bool bof() const { return m_bof; }
    bool eof() const { return m_eof; }
    int recNo() const; // 1-based position in the view; 0 when empty
    void setRecNo(int recNo);
    int currentRecord() const; // the record under the cursor, or -1
    int viewRecord(int position) const;
    int viewPosition(int record) const; // -1 when the record is not in the view
    // Moves to the first row at or after the value in the current order (first order field).
    // Returns false when no such row exists (the cursor then goes to the last row).
    bool findNearest(const QVariant &value);

    TBookmark bookmark() const;
    bool bookmarkValid(TBookmark bookmark) const;
    void gotoBookmark(TBookmark bookmark); // raises when the row is gone or filtered out
    void freeBookmark(TBookmark) {}

    // ---- Notification of bound views --------------------------------------------------------
    void disableControls();
    void enableControls();
    bool controlsDisabled() const { return m_disableCount > 0; }

    // ---- Value storage, for fields, files and models -------------------------------------
    bool cellNull(int field, int record) const;
    qint64 cellInt(int field, int record) const;
    double cellFloat(int field, int record) const;
    const QString &cellText(int field, int record) const;
    // Loading: appends a row of values without hooks (used by the file reader).
    int appendRawRecord();
    // Room for this many records in all, so that appending them copies nothing.
    void reserveRecords(int count);
    void setRawInt(int field, int record, qint64 value);
    void setRawFloat(int field, int record, double value);
    void setRawText(int field, int record, QString value);
    // The file writer's text of one row, kept until the row changes (saving the
    // whole log after every added call then costs little more than the write).
    QByteArray &rowCache(int record) const { return m_rowCache[size_t(record)]; }
    // After raw loading: check the identifier counter and rebuild the view.
    void finishLoading();
    // Takes the structure, rows and identifier counter of a freshly loaded table;
    // order, indexes and filter stay (a filter the new fields cannot hold is dropped).
    void replaceContent(TMemTable &loaded);

signals:
    // Rows, order, filter or structure changed; held back while controls are disabled.
    void dataSetChanged();
    // The cursor moved to another row; held back while controls are disabled.
    void currentChanged();

private:
    friend class TField;
    struct Column {
        TValueKind kind = TValueKind::Int;
        std::vector<qint64> ints;
        std::vector<double> floats;
        std::vector<QString> texts;
        std::vector<uint8_t> nulls;
    };
    struct Cell {
        bool null = true;
        qint64 i = 0;
        double f = 0;
        QString s;
    };
    struct SortKey {
        int field;
        bool descending;
        bool caseInsensitive;
    };

    void requireActive() const;
    void appendCalculatedColumn(const TFieldDef &def);
    void calculateRecord(int record);
    void requireBrowse(const char *operation) const;
    Cell &bufferCell(int field);
    void writeCell(int field, const Cell &cell);
    void checkWritable(const TField &f) const;
    std::vector<SortKey> sortKeys() const;
    int compareRecords(const std::vector<SortKey> &keys, int a, int b) const;
    void invalidateOrder();
    void invalidateView();
    void ensureView() const;
    void rebuildOrder() const;
    void rebuildView() const;
    bool passes(int record) const;
    int placeAfterInsert(int record);
    void removeRecordFromStorage(int record);
    void setPosition(int position, bool bof, bool eof);
    void notifyScroll();
    void notifyDataSet();
    void clearStorage();
    void buildFields();
    int positionOfRecord(int record) const;

    std::vector<TFieldDef> m_fieldDefs;
    std::vector<std::unique_ptr<TField>> m_fields;
    std::vector<Column> m_columns;
    std::vector<quint64> m_serials;
    mutable std::vector<QByteArray> m_rowCache;
    quint64 m_nextSerial = 1;
    int m_autoInc = 1;
    QList<std::pair<QString, QString>> m_extraParams;

    TTableState m_state = TTableState::Inactive;
    std::vector<Cell> m_buffer;
    int m_editRecord = -1;

    QString m_indexFieldNames;
    QString m_indexName;
    std::vector<TIndexDef> m_indexDefs;

    QString m_filterText;
    std::unique_ptr<TFilterExpr> m_filterExpr;
    bool m_filtered = false;

    // Cached: records in the current order, and the subset that passes the filter.
    mutable std::vector<int> m_order;
    mutable bool m_orderValid = false;
    mutable std::vector<int> m_view;
    mutable bool m_viewValid = false;
    mutable int m_curRecord = -1; // the cursor is kept as a record; its position follows
    mutable int m_curPos = -1;
    bool m_bof = true;
    bool m_eof = true;

    int m_disableCount = 0;
    bool m_pendingDataSet = false;
    bool m_pendingScroll = false;
};

// Holds the bound views still and remembers the current row while the cursor wanders
// (a walk over the rows, an insert); on every way out the cursor goes back to that row
// when it is still in the view (else it stays where it is) and the views are told once.
// With quietScroll the table's after-scroll hook is also held back meanwhile.
class TKeptRow {
public:
    explicit TKeptRow(TMemTable &table, bool quietScroll = false);
    ~TKeptRow();
    TKeptRow(const TKeptRow &) = delete;
    TKeptRow &operator=(const TKeptRow &) = delete;

private:
    TMemTable &m_table;
    TBookmark m_mark = kNoBookmark;
    bool m_quietScroll;
    TMemTable::Hook m_afterScroll;
};
