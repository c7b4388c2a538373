#include "exception.h"
#include "sipaccount.h"
#include "support/tempdatadir.h"

#include <QFile>
#include <sys/stat.h>
#include <gtest/gtest.h>

namespace {

LineProperties Edited(const SipAccount &account, const QMap<QString, QString> &values)
{
    LineProperties form = account.properties();
    for (LineProperty &p : form) {
        if (values.contains(p.key))
            p.value = values.value(p.key);
    }
    return form;
}

} // namespace

TEST(SipUri, UserPartIsTheNumber)
{
    EXPECT_EQ(SipUriUser("sip:777123456@pbx.example.org"), "777123456");
    EXPECT_EQ(SipUriUser("\"Anna Nová\" <sip:anna@example.org;transport=tcp>"), "anna");
    EXPECT_EQ(SipUriUser("sips:+420777@example.org:5061"), "+420777");
    EXPECT_EQ(SipUriUser("sip:b@127.0.0.1"), "b");
    EXPECT_EQ(SipUriUser("sip:example.org"), "");
    EXPECT_EQ(SipUriUser(""), "");
}

using SipAccountTest = DataDirTest;

TEST_F(SipAccountTest, SavedAccountComesBackAndThePasswordIsTheOwnersAlone)
{
    SipAccount account;
    account.apply(Edited(account, {{"address", "sip:anna@example.org"},
                                   {"name", "Anna Nováková"},
                                   {"registrar", "example.org"},
                                   {"password", "tajné heslo"},
                                   {"transport", "TCP"},
                                   {"localport", "5080"}}));
    const QString dir = data.path() + "/sip";
    account.save(dir, 2);
    const SipAccount loaded = SipAccount::Load(dir, 2);
    EXPECT_EQ(loaded.address, "sip:anna@example.org");
    EXPECT_EQ(loaded.displayName, "Anna Nováková");
    EXPECT_EQ(loaded.registrar, "sip:example.org");
    EXPECT_EQ(loaded.password, "tajné heslo");
    EXPECT_EQ(loaded.transport, "tcp");
    EXPECT_EQ(loaded.localPort, 5080);
    EXPECT_EQ(loaded.addressDomain(), "example.org");

    QFile conf(dir + "/line2.conf");
    ASSERT_TRUE(conf.open(QIODevice::ReadOnly));
    EXPECT_FALSE(conf.readAll().contains("tajn"));
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(dir + "/line2.password").constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_FALSE(SipAccount::Exists(dir, 1));
    EXPECT_TRUE(SipAccount::Exists(dir, 2));
}

TEST_F(SipAccountTest, RefusedValueLeavesTheAccountAsItWas)
{
    SipAccount account;
    account.apply(Edited(account, {{"address", "sip:anna@example.org"}, {"password", "abc"}}));
    const QList<QMap<QString, QString>> refused{
        {{"address", "anna@example.org"}},
        {{"address", "sip:anna@example.org>;auth_pass=x"}},
        {{"password", "a;regint=1"}},
        {{"name", "Anna\" <sip:evil@example.org>"}},
        {{"name", "Anna\\"}},
        {{"password", "line\nbreak"}},
        {{"transport", "carrier pigeon"}},
        {{"localport", "70000"}},
        {{"attach", "localhost"}},
    };
    for (const auto &values : refused) {
        EXPECT_THROW(account.apply(Edited(account, values)), Exception) << values.first().toStdString();
        EXPECT_EQ(account.address, "sip:anna@example.org");
        EXPECT_EQ(account.password, "abc");
        EXPECT_EQ(account.transport, "udp");
    }
}

TEST_F(SipAccountTest, HandEditedFileLosesOnlyTheBadValue)
{
    const QString dir = data.path() + "/sip";
    SipAccount account;
    account.apply(Edited(account, {{"address", "sip:anna@example.org"}}));
    account.save(dir, 1);
    QFile conf(dir + "/line1.conf");
    ASSERT_TRUE(conf.open(QIODevice::Append));
    conf.write("transport=smoke\nlocalport=6000\n");
    conf.close();
    const SipAccount loaded = SipAccount::Load(dir, 1);
    EXPECT_EQ(loaded.address, "sip:anna@example.org");
    EXPECT_EQ(loaded.transport, "udp");
    EXPECT_EQ(loaded.localPort, 6000);
}
