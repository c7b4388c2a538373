// tembrel-convert: re-encodes a WAVE file into a record format, as the recorder would have
// recorded it. Exit codes: 0 done, 1 the files could not be read or written, 2 a command
// line or a format that cannot be used.
#include <QCoreApplication>
#include <cstdio>

#include "convertjob.h"

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QStringList arguments = QCoreApplication::arguments();
    arguments.removeFirst();
    try {
        ConvertWaveFile(ParseConvertArguments(arguments));
    } catch (const EConvertUsage &e) {
        std::fprintf(stderr, "%s\n", e.message().toLocal8Bit().constData());
        return 2;
    } catch (const EFormatUnreachable &e) {
        std::fprintf(stderr, "%s\n", e.message().toLocal8Bit().constData());
        return 2;
    } catch (const Exception &e) {
        std::fprintf(stderr, "%s\n", e.message().toLocal8Bit().constData());
        return 1;
    }
    return 0;
}
