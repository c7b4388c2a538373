#pragma once
#include <QByteArray>

#include "reportmodel.h"

// The report project stream: a UTF-8 JSON document (described in
// platform/report/FORMAT.md). Loading checks every member it reads and raises
// EReportError naming the first damaged one; nothing half-read is returned.
QByteArray StoreReportProject(const TReportProject &project);
TReportProject LoadReportProject(const QByteArray &stream);
