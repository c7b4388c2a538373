#include "modemprovider.h"

#include "myutils.h"
#include "settingsfile.h"

#include <QDir>
#include <QFileInfo>
#include <QMap>

namespace {

constexpr int kProbeMs = 800;
constexpr int kProbeSpeed = 115200;

QString key(const QString &path, const char *name) { return path + QLatin1Char('.') + QLatin1String(name); }

QStringList storedDevices(const TSettingsFile &file)
{
    return file.ReadString(QStringLiteral("Devices")).split(QLatin1Char('|'), Qt::SkipEmptyParts);
}

} // namespace

ModemProvider::ModemProvider(const QString &settingsFile, const QStringList &devices) : m_settingsFile(settingsFile)
{
    for (const QString &path : devices) {
        m_lines.push_back(std::make_unique<ModemLine>(path, loadSettings(path), this));
        m_lines.back()->start();
    }
}

ModemProvider::~ModemProvider() = default;

QString ModemProvider::name() const { return QStringLiteral("Hlasový modem s identifikací volajícího"); }

QString ModemProvider::SettingsFileName(const QString &dataDirectory)
{
    return JoinPath(dataDirectory, QStringLiteral("modem.ini"));
}

std::unique_ptr<LineProvider> ModemProvider::Create(const LineProviderOptions &options)
{
    const QString settingsFile = SettingsFileName(options.dataDirectory);
    QStringList devices;
    if (qEnvironmentVariableIsSet("TEMBREL_MODEM_DEVICES")) {
        devices = qEnvironmentVariable("TEMBREL_MODEM_DEVICES").split(QLatin1Char(':'), Qt::SkipEmptyParts);
    } else {
        // A modem found once stays offered while it is unplugged, so the watch picks it up
        // again when it returns.
        TSettingsFile file(settingsFile);
        devices = storedDevices(file);
        bool added = false;
        for (const QString &found : Discover()) {
            if (!devices.contains(found)) {
                devices.append(found);
                added = true;
            }
        }
        if (added) {
            file.WriteString(QStringLiteral("Devices"), devices.join(QLatin1Char('|')));
            try {
                file.Save();
            } catch (const std::exception &e) {
                WriteLogLine(QStringLiteral("Modem devices not remembered: ") + QString::fromUtf8(e.what()));
            }
        }
    }
    devices.removeDuplicates();
    if (devices.isEmpty())
        return nullptr;
    return std::make_unique<ModemProvider>(settingsFile, devices);
}

QStringList ModemProvider::Discover()
{
    // Each device once, under its stable name when it has one.
    QMap<QString, QString> named; // real device -> the name it is offered under
    QStringList order;
    auto consider = [&](const QFileInfo &info) {
        const QString real = info.canonicalFilePath();
        if (real.isEmpty() || named.contains(real))
            return;
        named.insert(real, info.absoluteFilePath());
        order.append(real);
    };
    for (const QFileInfo &info : QDir(QStringLiteral("/dev/serial/by-id")).entryInfoList(QDir::System | QDir::Files, QDir::Name))
        consider(info);
    const QDir dev(QStringLiteral("/dev"));
    for (const char *pattern : {"ttyACM*", "ttyUSB*", "ttyS*"}) {
        for (const QFileInfo &info : dev.entryInfoList({QLatin1String(pattern)}, QDir::System, QDir::Name))
            consider(info);
    }
    // A serial console is never sent "AT".
    const QByteArray consoles = ReadFileToString(QStringLiteral("/sys/class/tty/console/active"));
    for (const QByteArray &console : consoles.simplified().split(' ')) {
        if (!console.isEmpty())
            order.removeAll(QStringLiteral("/dev/") + QString::fromLatin1(console));
    }
    QStringList found;
    const QStringList answered = ModemPort::Probe(order, kProbeSpeed, kProbeMs);
    for (const QString &real : order) {
        if (answered.contains(real))
            found.append(named.value(real));
    }
    return found;
}

ModemSettings ModemProvider::loadSettings(const QString &path) const
{
    const TSettingsFile file(m_settingsFile);
    ModemSettings settings;
    const int speed = file.ReadInteger(key(path, "Speed"), settings.speed);
    if (ModemPort::Speeds().contains(speed))
        settings.speed = speed;
    const QString command = file.ReadString(key(path, "CallerId")).trimmed();
    settings.callerIdCommand = command.compare(QLatin1String("auto"), Qt::CaseInsensitive) == 0 ? QString() : command;
    settings.ringTimeoutSeconds = qBound(4, file.ReadInteger(key(path, "RingTimeout"), settings.ringTimeoutSeconds), 30);
    settings.hardwareFlow = file.ReadBool(key(path, "RtsCts"), path.startsWith(QLatin1String("/dev/ttyS")));
    return settings;
}

void ModemProvider::storeSettings(const QString &path, const ModemSettings &settings)
{
    TSettingsFile file(m_settingsFile);
    file.WriteInteger(key(path, "Speed"), settings.speed);
    file.WriteString(key(path, "CallerId"),
                     settings.callerIdCommand.isEmpty() ? QStringLiteral("auto") : settings.callerIdCommand);
    file.WriteInteger(key(path, "RingTimeout"), settings.ringTimeoutSeconds);
    file.WriteBool(key(path, "RtsCts"), settings.hardwareFlow);
    file.Save();
}
