#pragma once
#include <QString>

// Writes the call log (or the calls the filter expression selects) into a PDF, CSV,
// HTML or XLS file chosen by its extension, through a saved template of the call list
// when one is named; a PDF without a template holds the list's first four visible
// columns, as the output dialog offers them. Only reads data.xml, so a logger may run on the same folder.
// False with the reason when nothing was written.
bool ExportCallLog(const QString &fileName, const QString &templateName, const QString &filter, QString &error);
