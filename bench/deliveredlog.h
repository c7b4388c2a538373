#pragma once
#include <QString>

// Makes folder the data directory and puts the delivered empty call log there, writable by
// its owner only as an installation leaves it; returns the log's file name.
QString InstallDeliveredCallLog(const QString &folder);
