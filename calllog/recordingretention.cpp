#include "recordingretention.h"

#include "datapacket.h"
#include "exception.h"
#include "memtable.h"
#include "udmcd.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <vector>

namespace {

struct Candidate {
    int id;
    double whenStart;
    double whenEnd;
    qint64 size; // of the file as it is on disk
};

// Every row that has a recording on disk, oldest first.
std::vector<Candidate> recordedCalls(const TMemTable &table)
{
    std::vector<Candidate> result;
    const TField &id = table.fieldByName(QStringLiteral("IDAUDIO"));
    const TField &size = table.fieldByName(QStringLiteral("AUDIOSIZE"));
    const TField &start = table.fieldByName(QStringLiteral("WHENSTART"));
    const TField &end = table.fieldByName(QStringLiteral("WHENEND"));
    for (int record = 0; record < table.physicalCount(); ++record) {
        if (size.asLargeIntAt(record) <= 0)
            continue;
        const int callId = int(id.asLargeIntAt(record));
        const QFileInfo file(Tdmcd::RecordingFileName(callId));
        if (!file.isFile())
            continue;
        result.push_back({callId, start.asFloatAt(record), end.asFloatAt(record), file.size()});
    }
    std::sort(result.begin(), result.end(),
              [](const Candidate &a, const Candidate &b) { return a.whenStart < b.whenStart; });
    return result;
}

std::vector<Candidate> chosen(const std::vector<Candidate> &calls, const TRetention &policy, double now)
{
    std::vector<Candidate> result;
    if (policy.mode == TRetention::ByAge) {
        const double limit = now - std::max(policy.days, 0);
        for (const Candidate &c : calls) {
            if (c.whenEnd < limit)
                result.push_back(c);
        }
    } else if (policy.mode == TRetention::BySize) {
        qint64 total = 0;
        for (const Candidate &c : calls)
            total += c.size;
        const auto allowed = qint64(std::max(policy.maxGigabytes, 0.0) * 1024.0 * 1024.0 * 1024.0);
        for (const Candidate &c : calls) {
            if (total <= allowed)
                break;
            result.push_back(c);
            total -= c.size;
        }
    }
    return result;
}

// The stored record of the row with this identifier; -1 when there is none.
int recordOf(const TMemTable &table, int id)
{
    const TField &field = table.fieldByName(QStringLiteral("IDAUDIO"));
    for (int record = 0; record < table.physicalCount(); ++record) {
        if (field.asLargeIntAt(record) == id)
            return record;
    }
    return -1;
}

// Makes the row with this identifier current in the unfiltered table; its stored
// record, or -1 when the table shows no such row.
int gotoCall(TMemTable &table, int id)
{
    const int record = recordOf(table, id);
    const int position = record < 0 ? -1 : table.viewPosition(record);
    if (position < 0)
        return -1;
    table.setRecNo(position + 1);
    return record;
}

} // namespace

QString TRetentionResult::Summary() const
{
    QString text;
    if (recordings > 0) {
        // Czech counts: 1, 2 to 4, and 5 or more take different forms.
        const QString removed = recordings == 1   ? QStringLiteral("Odstraněna %1 stará nahrávka")
                                : recordings <= 4 ? QStringLiteral("Odstraněny %1 staré nahrávky")
                                                  : QStringLiteral("Odstraněno %1 starých nahrávek");
        text = removed.arg(recordings) + QStringLiteral(" (%1 MB)").arg(double(bytes) / 1048576.0, 0, 'f', 1);
        if (rows > 0)
            text += (rows == 1 ? QStringLiteral(" i s %1 záznamem hovoru") : QStringLiteral(" i s %1 záznamy hovorů")).arg(rows);
        text += QLatin1Char('.');
    }
    if (!failures.isEmpty()) {
        if (!text.isEmpty())
            text += QLatin1Char(' ');
        text += QStringLiteral("Nepodařilo se odstranit: %1.").arg(failures.join(QStringLiteral(", ")));
    }
    return text;
}

namespace {

// A row as the table holds it, so that a change can be taken back.
struct RowImage {
    int id = 0;
    struct Cell {
        bool null = true;
        qint64 i = 0;
        double f = 0;
        QString t;
    };
    std::vector<Cell> cells;
};

RowImage imageOf(const TMemTable &table, int id, int record)
{
    RowImage image;
    image.id = id;
    for (int i = 0; i < table.fieldCount(); ++i) {
        RowImage::Cell cell;
        cell.null = table.cellNull(i, record);
        if (!cell.null) {
            switch (ValueKindOf(table.field(i).dataType())) {
            case TValueKind::Int: cell.i = table.cellInt(i, record); break;
            case TValueKind::Float: cell.f = table.cellFloat(i, record); break;
            case TValueKind::Text: cell.t = table.cellText(i, record); break;
            }
        }
        image.cells.push_back(std::move(cell));
    }
    return image;
}

// Holds back the hooks that would store the log row by row, and the filter, while
// rows are changed in one pass; the remembered row may go with the old calls, and
// the cursor then stays where it is.
class QuietChange {
public:
    explicit QuietChange(TMemTable &table)
        : m_table(table), m_kept(table), m_wasFiltered(table.filtered()), m_afterPost(table.afterPost),
          m_beforeDelete(table.beforeDelete)
    {
        table.afterPost = nullptr;
        table.beforeDelete = nullptr;
        if (m_wasFiltered)
            table.setFiltered(false);
    }
    ~QuietChange()
    {
        if (m_table.state() == TTableState::Edit)
            m_table.cancel();
        m_table.afterPost = m_afterPost;
        m_table.beforeDelete = m_beforeDelete;
        if (m_wasFiltered)
            m_table.setFiltered(true);
    }
    QuietChange(const QuietChange &) = delete;
    QuietChange &operator=(const QuietChange &) = delete;

private:
    TMemTable &m_table;
    const TKeptRow m_kept;
    const bool m_wasFiltered;
    TMemTable::Hook m_afterPost;
    TMemTable::Hook m_beforeDelete;
};

// Puts rows back as they were: an emptied row gets its size again, a deleted one returns.
void restoreRows(TMemTable &table, const std::vector<RowImage> &rows)
{
    const QuietChange quiet(table);
    bool appended = false;
    const int sizeField = table.fieldByName(QStringLiteral("AUDIOSIZE")).index();
    for (const RowImage &row : rows) {
        if (gotoCall(table, row.id) >= 0) {
            table.edit();
            table.field(sizeField).setAsInteger(row.cells[size_t(sizeField)].i);
            table.post();
            continue;
        }
        const int record = table.appendRawRecord();
        for (int i = 0; i < int(row.cells.size()); ++i) {
            const RowImage::Cell &cell = row.cells[size_t(i)];
            if (cell.null)
                continue;
            switch (ValueKindOf(table.field(i).dataType())) {
            case TValueKind::Int: table.setRawInt(i, record, cell.i); break;
            case TValueKind::Float: table.setRawFloat(i, record, cell.f); break;
            case TValueKind::Text: table.setRawText(i, record, cell.t); break;
            }
        }
        appended = true;
    }
    if (appended)
        table.finishLoading();
}

// Empties or deletes the chosen rows and stores the log once. When the log cannot be
// stored, the rows are put back, so that memory never claims less than the files hold.
std::vector<RowImage> changeRows(TMemTable &table, const TRetention &policy, const std::vector<Candidate> &victims)
{
    std::vector<RowImage> changed;
    try {
        const QuietChange quiet(table);
        for (const Candidate &c : victims) {
            const int record = gotoCall(table, c.id);
            if (record < 0)
                continue;
            changed.push_back(imageOf(table, c.id, record));
            if (policy.deleteRows) {
                table.deleteRecord();
            } else {
                table.edit();
                table.fieldByName(QStringLiteral("AUDIOSIZE")).setAsInteger(0);
                table.post();
            }
        }
    } catch (...) {
        restoreRows(table, changed);
        throw;
    }
    try {
        SaveDataPacketFile(table, Tdmcd::DataFileName());
    } catch (...) {
        restoreRows(table, changed);
        throw;
    }
    return changed;
}

} // namespace

TRetentionResult ApplyRetention(Tdmcd &cd, const TRetention &policy, double now)
{
    TRetentionResult result;
    TMemTable &table = *cd.tb_audio;
    if (policy.mode == TRetention::Off || !table.active())
        return result;
    const std::vector<Candidate> victims = chosen(recordedCalls(table), policy, now);
    if (victims.empty())
        return result;

    // The rows change in one pass and the log is stored once; the files go afterwards.
    const std::vector<RowImage> changed = changeRows(table, policy, victims);
    std::vector<RowImage> kept;
    for (const RowImage &row : changed) {
        const QString file = Tdmcd::RecordingFileName(row.id);
        const auto victim = std::find_if(victims.begin(), victims.end(), [&](const Candidate &c) { return c.id == row.id; });
        if (QFile::remove(file)) {
            ++result.recordings;
            result.bytes += victim->size;
            if (policy.deleteRows)
                ++result.rows;
        } else {
            result.failures.append(file);
            kept.push_back(row);
        }
    }
    if (!kept.empty()) {
        // A recording that stays keeps its row as it was.
        restoreRows(table, kept);
        SaveDataPacketFile(table, Tdmcd::DataFileName());
    }
    return result;
}
