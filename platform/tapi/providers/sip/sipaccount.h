#pragma once
// The settings of one SIP line as the user enters them in the line's properties window.
// They live in the data directory under "sip/": "lineN.conf" holds everything but the
// password, "lineN.password" the password alone, readable by the user only.
#include "lineprovider.h"

#include <QString>

struct SipAccount {
    QString address;    // the line's own SIP address, "sip:user@domain"
    QString displayName; // the name the called party sees; empty: none
    QString registrar;  // "sip:host[:port]"; empty: the line registers nowhere
    QString user;       // the authentication user; empty: the address's user
    QString password;
    QString transport = QStringLiteral("udp"); // udp, tcp or tls
    int localPort = 0;                  // 0: a free one is chosen
    QString netInterface;               // the address or interface the agent binds to; empty: all
    QString playback;                   // the sound server's sink the far end is heard on; empty: default
    QString microphone;                 // the sound server's source of the near end; empty: default
    QString attach;                     // "host:port" of a user agent already running; empty: start our own

    bool configured() const { return !address.isEmpty(); }
    // The user part and domain of the address ("sip:anna@example.org" -> "anna", "example.org").
    QString addressUser() const;
    QString addressDomain() const;

    // The form of the properties window.
    LineProperties properties() const;
    // Takes an edited form; raises Exception with the reason when a value is refused
    // (the account stays as it was).
    void apply(const LineProperties &properties);

    // Loads line N from the directory ("<data>/sip"); a missing file gives an empty account.
    static SipAccount Load(const QString &directory, int line);
    static bool Exists(const QString &directory, int line);
    // Writes both files whole (temporary file and rename); raises Exception when it cannot.
    void save(const QString &directory, int line) const;
};

// The number ("anna" from "sip:anna@example.org") and display name of a peer as the user
// agent reports them ("\"Anna\" <sip:anna@example.org;transport=tcp>").
QString SipUriUser(const QString &uri);
