#pragma once
// Voice modems on serial ports: every device that answers "AT" (or the devices named in
// TEMBREL_MODEM_DEVICES, a ":"-separated list, which are offered without a search)
// becomes a line. Each line's settings live in "modem.ini" in the data directory.
#include "lineprovider.h"
#include "modemline.h"

#include <memory>
#include <vector>

class ModemProvider : public LineProvider {
public:
    // One line per device, each opened once the event loop runs.
    ModemProvider(const QString &settingsFile, const QStringList &devices);
    ~ModemProvider() override;
    // Offered when a modem is found or named; none otherwise.
    static std::unique_ptr<LineProvider> Create(const LineProviderOptions &options);
    // Serial devices that answer "AT": by their stable name under /dev/serial/by-id where
    // they have one, else as /dev/ttyACM*, /dev/ttyUSB* and /dev/ttyS*.
    static QStringList Discover();
    static QString SettingsFileName(const QString &dataDirectory);

    QString name() const override;
    int lineCount() const { return int(m_lines.size()); }
    ModemLine &line(int index) { return *m_lines.at(size_t(index)); }

    ModemSettings loadSettings(const QString &path) const;
    // Raises Exception when the file cannot be written; the old one then stays.
    void storeSettings(const QString &path, const ModemSettings &settings);

private:
    QString m_settingsFile;
    std::vector<std::unique_ptr<ModemLine>> m_lines;
};
