#include "sipaccount.h"

#include "exception.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSaveFile>

namespace {

const QStringList kTransports{QStringLiteral("udp"), QStringLiteral("tcp"), QStringLiteral("tls")};

QString ConfName(const QString &directory, int line) { return directory + QStringLiteral("/line%1.conf").arg(line); }
QString PasswordName(const QString &directory, int line)
{
    return directory + QStringLiteral("/line%1.password").arg(line);
}

// Text that goes into the user agent's files as it is: nothing that ends a line, a
// parameter or an address there.
void CheckPlain(const QString &label, const QString &value, const QString &forbidden)
{
    for (QChar c : value) {
        if (c.unicode() < 0x20 || c == QChar(0x7f) || forbidden.contains(c))
            throw Exception(QStringLiteral("\"%1\" nesmí obsahovat znak \"%2\".")
                                .arg(label, c.unicode() < 0x20 ? QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0')) : QString(c)));
    }
}

void WriteWhole(const QString &path, const QByteArray &data, bool ownerOnly)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw Exception(QStringLiteral("Soubor %1 nelze zapsat: %2").arg(path, file.errorString()));
    if (ownerOnly)
        file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    file.write(data);
    if (!file.commit())
        throw Exception(QStringLiteral("Soubor %1 nelze zapsat: %2").arg(path, file.errorString()));
    if (ownerOnly && !QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner))
        throw Exception(QStringLiteral("Soubor %1 nelze zabezpečit.").arg(path));
}

} // namespace

QString SipUriUser(const QString &uri)
{
    QString text = uri.trimmed();
    const qsizetype open = text.indexOf(QLatin1Char('<'));
    if (open >= 0)
        text = text.mid(open + 1).section(QLatin1Char('>'), 0, 0);
    if (text.startsWith(QLatin1String("sip:"), Qt::CaseInsensitive))
        text = text.mid(4);
    else if (text.startsWith(QLatin1String("sips:"), Qt::CaseInsensitive))
        text = text.mid(5);
    text = text.section(QLatin1Char(';'), 0, 0);
    if (!text.contains(QLatin1Char('@')))
        return QString(); // a bare host names nobody
    return text.section(QLatin1Char('@'), 0, 0).section(QLatin1Char(':'), 0, 0);
}

QString SipAccount::addressUser() const { return SipUriUser(address); }

QString SipAccount::addressDomain() const
{
    QString text = address;
    if (text.startsWith(QLatin1String("sip:"), Qt::CaseInsensitive))
        text = text.mid(4);
    return text.section(QLatin1Char('@'), 1).section(QLatin1Char(';'), 0, 0);
}

LineProperties SipAccount::properties() const
{
    auto text = [](const char *key, const QString &label, const QString &value) {
        LineProperty p;
        p.key = QLatin1String(key);
        p.label = label;
        p.kind = LineProperty::Kind::Text;
        p.value = value;
        return p;
    };
    LineProperties list;
    list << text("address", QStringLiteral("Adresa SIP"), address)
         << text("name", QStringLiteral("Zobrazované jméno"), displayName)
         << text("registrar", QStringLiteral("Registrační server"), registrar)
         << text("user", QStringLiteral("Uživatel"), user);
    LineProperty secret = text("password", QStringLiteral("Heslo"), password);
    secret.kind = LineProperty::Kind::Password;
    list << secret;
    LineProperty transportChoice = text("transport", QStringLiteral("Přenos"), transport);
    transportChoice.kind = LineProperty::Kind::Choice;
    transportChoice.choices = kTransports;
    list << transportChoice;
    LineProperty port = text("localport", QStringLiteral("Místní port (0 = volný)"), QString::number(localPort));
    port.kind = LineProperty::Kind::Number;
    port.minimum = 0;
    port.maximum = 65534;
    list << port << text("interface", QStringLiteral("Síťové rozhraní"), netInterface)
         << text("playback", QStringLiteral("Reproduktor (výstup zvukového serveru)"), playback)
         << text("microphone", QStringLiteral("Mikrofon (vstup zvukového serveru)"), microphone)
         << text("attach", QStringLiteral("Spuštěný agent (adresa:port řízení)"), attach);
    return list;
}

void SipAccount::apply(const LineProperties &properties)
{
    SipAccount next = *this;
    for (const LineProperty &p : properties) {
        const QString value = p.kind == LineProperty::Kind::Password ? p.value : p.value.trimmed();
        if (p.key == QLatin1String("address")) {
            CheckPlain(p.label, value, QStringLiteral("<>;\" "));
            if (!value.isEmpty() && (!value.startsWith(QLatin1String("sip:"), Qt::CaseInsensitive) || !value.contains(QLatin1Char('@'))))
                throw Exception(QStringLiteral("Adresa SIP musí mít tvar sip:uživatel@doména."));
            next.address = value;
        } else if (p.key == QLatin1String("name")) {
            // Goes between quotes in the agent's account line.
            CheckPlain(p.label, value, QStringLiteral("\"<>\\"));
            next.displayName = value;
        } else if (p.key == QLatin1String("registrar")) {
            CheckPlain(p.label, value, QStringLiteral("<>;\" "));
            if (!value.isEmpty() && !value.startsWith(QLatin1String("sip:"), Qt::CaseInsensitive))
                next.registrar = QStringLiteral("sip:") + value;
            else
                next.registrar = value;
        } else if (p.key == QLatin1String("user")) {
            CheckPlain(p.label, value, QStringLiteral("<>;\" "));
            next.user = value;
        } else if (p.key == QLatin1String("password")) {
            CheckPlain(p.label, value, QStringLiteral("<>;\""));
            next.password = value;
        } else if (p.key == QLatin1String("transport")) {
            if (!kTransports.contains(value.toLower()))
                throw Exception(QStringLiteral("Neznámý přenos \"%1\".").arg(value));
            next.transport = value.toLower();
        } else if (p.key == QLatin1String("localport")) {
            bool ok = false;
            const int port = value.toInt(&ok);
            if (!ok || port < 0 || port > 65534)
                throw Exception(QStringLiteral("Místní port musí být číslo od 0 do 65534."));
            next.localPort = port;
        } else if (p.key == QLatin1String("interface")) {
            CheckPlain(p.label, value, QStringLiteral(" "));
            next.netInterface = value;
        } else if (p.key == QLatin1String("playback")) {
            CheckPlain(p.label, value, QStringLiteral(" ,"));
            next.playback = value;
        } else if (p.key == QLatin1String("microphone")) {
            CheckPlain(p.label, value, QStringLiteral(" ,"));
            next.microphone = value;
        } else if (p.key == QLatin1String("attach")) {
            CheckPlain(p.label, value, QStringLiteral(" "));
            if (!value.isEmpty() && value.section(QLatin1Char(':'), -1).toUInt() == 0)
                throw Exception(QStringLiteral("Spuštěný agent musí mít tvar adresa:port."));
            next.attach = value;
        }
    }
    *this = next;
}

bool SipAccount::Exists(const QString &directory, int line) { return QFile::exists(ConfName(directory, line)); }

SipAccount SipAccount::Load(const QString &directory, int line)
{
    SipAccount account;
    QFile conf(ConfName(directory, line));
    if (conf.open(QIODevice::ReadOnly)) {
        LineProperties form = account.properties();
        for (const QByteArray &raw : conf.readAll().split('\n')) {
            const QString entry = QString::fromUtf8(raw);
            const qsizetype eq = entry.indexOf(QLatin1Char('='));
            if (eq <= 0)
                continue;
            for (LineProperty &p : form) {
                if (p.key == entry.left(eq).trimmed() && p.kind != LineProperty::Kind::Password)
                    p.value = entry.mid(eq + 1).trimmed();
            }
        }
        // A hand-edited file with a refused value loses that value alone.
        for (const LineProperty &p : form) {
            try {
                account.apply({p});
            } catch (const Exception &) {
            }
        }
    }
    QFile secret(PasswordName(directory, line));
    if (secret.open(QIODevice::ReadOnly))
        account.password = QString::fromUtf8(secret.readAll()).section(QLatin1Char('\n'), 0, 0);
    return account;
}

void SipAccount::save(const QString &directory, int line) const
{
    if (!QDir().mkpath(directory))
        throw Exception(QStringLiteral("Složku %1 nelze vytvořit.").arg(directory));
    QFile::setPermissions(directory, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    // The password first: a failure leaves the old settings whole.
    WriteWhole(PasswordName(directory, line), password.toUtf8() + '\n', true);
    QByteArray conf;
    for (const LineProperty &p : properties()) {
        if (p.kind != LineProperty::Kind::Password)
            conf += p.key.toUtf8() + '=' + p.value.toUtf8() + '\n';
    }
    WriteWhole(ConfName(directory, line), conf, false);
}
