#pragma once
// Keeping old recordings in check: the recordings older than a number of days, or the
// oldest beyond a total size, are removed; their rows then say truthfully that they have
// no recording (AUDIOSIZE 0), or go as well when the user chose so. Off unless chosen.
#include <QString>
#include <QStringList>

class Tdmcd;

struct TRetention {
    enum Mode { Off = 0, ByAge = 1, BySize = 2 };
    int mode = Off;
    int days = 90;           // ByAge: recordings of calls that ended earlier go
    double maxGigabytes = 5; // BySize: the oldest go until the rest fits
    bool deleteRows = false; // the calls' rows go with their recordings

    bool operator==(const TRetention &other) const = default;
};

struct TRetentionResult {
    int recordings = 0; // recordings removed
    int rows = 0;       // rows removed with them
    qint64 bytes = 0;   // bytes freed
    QStringList failures; // files that could not be removed; their rows stay as they were
    // One line for the user and the log; empty when nothing was removed or failed.
    QString Summary() const;
};

// Applies the policy to the open call log at the time now (a day number). The rows are
// changed and data.xml stored first, the files removed after, so a failure on the way
// never leaves a row pointing at a removed file. Raises Exception when data.xml cannot
// be stored; no file is removed then and the rows in memory are as they were.
TRetentionResult ApplyRetention(Tdmcd &cd, const TRetention &policy, double now);
