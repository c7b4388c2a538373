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

// The view position of the row with this identifier in the unfiltered table.
bool gotoCall(TMemTable &table, int id)
{
    const TField &field = table.fieldByName(QStringLiteral("IDAUDIO"));
    for (int record = 0; record < table.physicalCount(); ++record) {
        if (field.asLargeIntAt(record) == id) {
            const int position = table.viewPosition(record);
            if (position < 0)
                return false;
            table.setRecNo(position + 1);
            return true;
        }
    }
    return false;
}

} // namespace

QString TRetentionResult::Summary() const
{
    QString text;
    if (recordings > 0) {
        text = QStringLiteral("Odstraněno %1 starých nahrávek (%2 MB)").arg(recordings).arg(double(bytes) / 1048576.0, 0, 'f', 1);
        if (rows > 0)
            text += QStringLiteral(" i s %1 záznamy hovorů").arg(rows);
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

// Empties or deletes the chosen rows and stores the log once, with the hooks that would
// store it row by row held back. The remembered row may go with the old calls: the
// cursor then stays where it is.
std::vector<Candidate> changeRows(TMemTable &table, const TRetention &policy, const std::vector<Candidate> &victims)
{
    const TKeptRow kept(table);
    const bool wasFiltered = table.filtered();
    TMemTable::Hook afterPost = table.afterPost;
    TMemTable::Hook beforeDelete = table.beforeDelete;
    table.afterPost = nullptr;
    table.beforeDelete = nullptr;
    auto restore = [&] {
        if (table.state() == TTableState::Edit)
            table.cancel();
        table.afterPost = afterPost;
        table.beforeDelete = beforeDelete;
        if (wasFiltered)
            table.setFiltered(true);
    };
    std::vector<Candidate> changed;
    try {
        if (wasFiltered)
            table.setFiltered(false);
        for (const Candidate &c : victims) {
            if (!gotoCall(table, c.id))
                continue;
            if (policy.deleteRows) {
                table.deleteRecord();
            } else {
                table.edit();
                table.fieldByName(QStringLiteral("AUDIOSIZE")).setAsInteger(0);
                table.post();
            }
            changed.push_back(c);
        }
        SaveDataPacketFile(table, Tdmcd::DataFileName());
    } catch (...) {
        restore();
        throw;
    }
    restore();
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
    const std::vector<Candidate> changed = changeRows(table, policy, victims);
    for (const Candidate &c : changed) {
        const QString file = Tdmcd::RecordingFileName(c.id);
        if (QFile::remove(file)) {
            ++result.recordings;
            result.bytes += c.size;
            if (policy.deleteRows)
                ++result.rows;
        } else {
            result.failures.append(file);
        }
    }
    return result;
}
