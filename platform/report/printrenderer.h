#pragma once
#include <vector>

#include "pagestream.h"

class QPrinter;

// Sends pages of a page stream to a printer (1-based page numbers, in the order
// given) with the number of copies; raises EReportError when the printer
// cannot be opened.
void PrintPageStream(const TPageStream &stream, QPrinter &printer, const std::vector<int> &pages, int copies);

// The pages of "first to last", kept within the document.
std::vector<int> PageRange(int first, int last, int pageCount);
