// The line window shows a line's own properties as a form and hands the edits back.
#include "lineconfig.h"

#include "dialogkit.h"
#include "exception.h"
#include "support/scriptedmessagebox.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <gtest/gtest.h>

namespace {

// A line with an account to edit; it refuses an empty address.
class AccountLine : public LineDevice {
public:
    AccountLine() { LineService::instance().addDevice(this); }
    ~AccountLine() override { LineService::instance().removeDevice(this); }

    QString lineName() const override { return QStringLiteral("Účet 1"); }
    QString providerInfo() const override { return QStringLiteral("Zkušební poskytovatel"); }
    QString address() const override { return QString(); }
    DWORD permanentId() const override { return 0x4143u; }
    void makeCall(DWORD, DeviceCall &, const QString &) override {}
    void dial(DWORD, DeviceCall &, const QString &) override {}
    void answer(DWORD, DeviceCall &) override {}
    void drop(DWORD, DeviceCall &) override {}

    LineProperties properties() const override
    {
        using Kind = LineProperty::Kind;
        return {
            {QStringLiteral("state"), QStringLiteral("Stav:"), Kind::Info, QStringLiteral("registrováno"), {}, 0, 0},
            {QStringLiteral("address"), QStringLiteral("Adresa SIP:"), Kind::Text, stored.value(0), {}, 0, 0},
            {QStringLiteral("password"), QStringLiteral("Heslo:"), Kind::Password, stored.value(1), {}, 0, 0},
            {QStringLiteral("port"), QStringLiteral("Port:"), Kind::Number, stored.value(2), {}, 1024, 65535},
            {QStringLiteral("transport"), QStringLiteral("Přenos:"), Kind::Choice, stored.value(3),
             {QStringLiteral("udp"), QStringLiteral("tcp")}, 0, 0},
            {QStringLiteral("register"), QStringLiteral("Registrovat:"), Kind::Flag, stored.value(4), {}, 0, 0},
        };
    }
    void setProperties(const LineProperties &properties) override
    {
        if (properties.value(1).value.isEmpty())
            throw Exception(QStringLiteral("Adresa SIP nesmí být prázdná"));
        stored.clear();
        for (int i = 1; i < properties.size(); ++i)
            stored.append(properties.at(i).value);
    }

    QStringList stored{QStringLiteral("sip:100@pbx"), QStringLiteral("tajné"), QStringLiteral("5060"),
                       QStringLiteral("udp"), QStringLiteral("1")};
};

TEST(LineConfigWindow, ShowsTheLinesPropertiesAndHandsBackTheEdits)
{
    AccountLine line;
    const DWORD id = DWORD(LineService::instance().deviceIdOf(&line));
    TLineConfigDialog dialog(id, line.lineName());
    ASSERT_EQ(dialog.Editors.size(), 6);
    EXPECT_EQ(dialog.lb_provider->text(), QStringLiteral("Zkušební poskytovatel"));
    EXPECT_EQ(dialog.lb_address->text(), QStringLiteral("-"));
    ASSERT_NE(dialog.btncancel, nullptr);
    auto *password = qobject_cast<QLineEdit *>(dialog.Editors.at(2));
    ASSERT_NE(password, nullptr);
    EXPECT_EQ(password->echoMode(), QLineEdit::Password);
    EXPECT_EQ(qobject_cast<QSpinBox *>(dialog.Editors.at(3))->maximum(), 65535);

    qobject_cast<QLineEdit *>(dialog.Editors.at(1))->setText(QStringLiteral("sip:200@pbx"));
    qobject_cast<QSpinBox *>(dialog.Editors.at(3))->setValue(5070);
    qobject_cast<QComboBox *>(dialog.Editors.at(4))->setCurrentIndex(1);
    qobject_cast<QCheckBox *>(dialog.Editors.at(5))->setChecked(false);
    dialog.btnok->click();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(line.stored, QStringList({QStringLiteral("sip:200@pbx"), QStringLiteral("tajné"), QStringLiteral("5070"),
                                        QStringLiteral("tcp"), QStringLiteral("0")}));
}

TEST(LineConfigWindow, ARefusedValueKeepsTheWindowOpenWithTheReason)
{
    ScriptedMessageBox boxes;
    AccountLine line;
    const QStringList before = line.stored;
    TLineConfigDialog dialog(DWORD(LineService::instance().deviceIdOf(&line)), line.lineName());
    qobject_cast<QLineEdit *>(dialog.Editors.at(1))->clear();
    dialog.setResult(-1);
    dialog.btnok->click();
    EXPECT_EQ(dialog.result(), -1);
    ASSERT_EQ(boxes.boxes().size(), 1);
    EXPECT_EQ(boxes.boxes().at(0).text, QStringLiteral("Adresa SIP nesmí být prázdná"));
    EXPECT_EQ(line.stored, before);
}

} // namespace
