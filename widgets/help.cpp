#include "help.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QKeyEvent>
#include <QPushButton>
#include <QTextBrowser>
#include <QVBoxLayout>

namespace {
const char kOverview[] =
    "<h3>Tembrel Personal</h3>"
    "<p>Program sleduje jednu telefonní linku, každý hovor zapíše do seznamu hovorů a rozhovor "
    "nahraje do zvukového souboru. Okno programu lze schovat do oznamovací oblasti; program přitom "
    "linku sleduje dál.</p>"
    "<p>Klávesa <b>F1</b> otevře nápovědu k oknu, ve kterém právě pracujete.</p>";

const char kMainWindow[] =
    "<h3>Hlavní okno</h3>"
    "<p>Seznam hovorů: typ, linka, začátek, konec, délka, velikost nahrávky a telefonní číslo. "
    "Nahoře je nejnovější hovor. Kliknutím na nadpis sloupce se seznam třídí podle něj, "
    "další kliknutí obrátí pořadí.</p>"
    "<ul>"
    "<li><b>Přehrát nahrávku</b> otevře nahrávku programem, který má systém pro zvukové soubory nastaven.</li>"
    "<li><b>Uložit nahrávku</b> uloží kopii nahrávky, <b>Hromadný export nahrávek</b> nahrávky všech "
    "zobrazených hovorů do zvolené složky.</li>"
    "<li><b>Filtr</b> (F4) vybere hovory podle typu, linky a data; zapnutý filtr ukazuje stavový řádek "
    "a tučný popisek tlačítka.</li>"
    "<li><b>Hledat</b> (F3) hledá ve sloupci, podle kterého je seznam setříděn; <b>Výstup</b> (F8) "
    "tiskne a exportuje seznam.</li>"
    "</ul>"
    "<p>Stavový řádek ukazuje linku, stav hovoru a číslo; při nahrávání hladinu zvuku.</p>"
    "<p>Klávesy: Alt+S nabídka Soubor, Alt+A Statistiky, Alt+Z Telefonní seznam, Alt+T Telefon, "
    "Alt+O O aplikaci, Alt+X ukončení programu.</p>";

const char kSettings[] =
    "<h3>Nastavení</h3>"
    "<p>Záložka <b>TAPI zařízení</b>: číslo linky ukládané k hovorům, sledované zařízení, "
    "obnovování spojení, evidence nepřijatých hovorů, ovládání telefonu a spouštění programu "
    "po přihlášení uživatele.</p>"
    "<p>Záložka <b>Audio nahrávání</b>: zvukový vstup, formát nahrávek, nejdelší nahrávka a hlídání "
    "ticha. Tlačítko <b>Monitor zvuku</b> ukáže hladinu vstupu bez nahrávání.</p>"
    "<p>Záložka <b>Pravidla</b>: které hovory se nahrávají (všechny, jen čísla označená v telefonním "
    "seznamu k nahrávání, nebo všechny kromě čísel označených jako soukromá), předvolba vaší země "
    "(např. 420; čísla s ní i bez ní se v telefonním seznamu najdou jako jedno) a mazání starých "
    "nahrávek: starších než zadaný počet dní, nebo nejstarších nad zadanou velikost. Mazání běží při "
    "startu a jednou denně, nikdy během nahrávání; co smazalo, oznámí bublina a zapíše log. "
    "Zaškrtnuté <b>Mazat i záznamy těchto hovorů</b> odstraní ze seznamu i hovory, jinak u nich "
    "zůstane jen údaj, že nahrávku nemají.</p>"
    "<p>Změny platí po stisku OK; Zrušit vrátí uložené hodnoty.</p>";

const char kPhonebook[] =
    "<h3>Telefonní seznam</h3>"
    "<p>Jména k telefonním číslům. Seznam hovorů je ukazuje podle čísla hovoru; čísla se porovnávají bez "
    "mezer, pomlček a předvolby vaší země (Nastavení, záložka Pravidla).</p>"
    "<ul>"
    "<li><b>Přidat</b> (Insert), <b>Upravit</b> (Enter nebo dvojklik), <b>Smazat</b> (Delete). Značka "
    "<b>nahrávat</b> a <b>soukromé</b> platí podle pravidla nahrávání v nastavení.</li>"
    "<li><b>Importovat</b> načte kontakty ze souboru vCard (.vcf, export adresáře) nebo CSV (UTF-8 "
    "nebo Windows-1250). Známá čísla dostanou jméno ze souboru a značky si ponechají. Poškozený soubor "
    "nezmění nic.</li>"
    "</ul>"
    "<p>Každá změna se hned uloží do souboru phonebook.txt v datové složce.</p>";

const char kPhonebookEntry[] =
    "<h3>Záznam telefonního seznamu</h3>"
    "<p>Telefonní číslo (povinné) a jméno. <b>Nahrávat</b>: při pravidle „jen čísla označená k nahrávání“ "
    "se hovory s tímto číslem nahrávají. <b>Soukromé</b>: při pravidle „všechny kromě soukromých čísel“ "
    "se nenahrávají.</p>";

const char kFilter[] =
    "<h3>Filtr</h3>"
    "<p>Vyberte typy hovorů, rozsah linek (od linky 0 se linky nefiltrují) a rozsah dat. "
    "Datum platí, jen když je zaškrtnuté. Zapnutý filtr ukazuje stavový řádek hlavního okna.</p>";

const char kStatistics[] =
    "<h3>Statistiky hovorů</h3>"
    "<p>Pro zvolené období ukáže počet hovorů podle typu s celkovou, nejdelší, nejkratší a průměrnou "
    "délkou a graf odchozích a příchozích hovorů. Výpočet spustí tlačítko <b>Výpočet</b> (F4); "
    "statistiky zahrnují všechny hovory bez ohledu na filtr seznamu. Esc okno zavře.</p>";
} // namespace

QString HelpText(const QString &section)
{
    if (section == QLatin1String("fmaintmb"))
        return QString::fromUtf8(kMainWindow) + QString::fromUtf8(kOverview);
    if (section == QLatin1String("foptlist"))
        return QString::fromUtf8(kSettings);
    if (section == QLatin1String("fphonebook"))
        return QString::fromUtf8(kPhonebook);
    if (section == QLatin1String("fphonebookentry"))
        return QString::fromUtf8(kPhonebookEntry);
    if (section == QLatin1String("ffltaud"))
        return QString::fromUtf8(kFilter);
    if (section == QLatin1String("fstattmb"))
        return QString::fromUtf8(kStatistics);
    return QString::fromUtf8(kOverview);
}

Tfhelp::Tfhelp(const QString &section, QWidget *parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Nápověda"));
    text = new QTextBrowser(this);
    text->setHtml(HelpText(section));
    auto *buttons = new QDialogButtonBox(this);
    QPushButton *close = buttons->addButton(QStringLiteral("&Zavřít"), QDialogButtonBox::RejectRole);
    close->setDefault(true);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(text);
    layout->addWidget(buttons);
    resize(440, 360);
}

THelpKey::THelpKey(QObject *parent) : QObject(parent)
{
    ShowSection = [](const QString &section, QWidget *window) {
        Tfhelp help(section, window);
        help.exec();
    };
}

bool THelpKey::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent *>(event)->key() == Qt::Key_F1
        && static_cast<QKeyEvent *>(event)->modifiers() == Qt::NoModifier && watched->isWidgetType()) {
        QWidget *window = static_cast<QWidget *>(watched)->window();
        // The help window itself does not open another.
        if (!dynamic_cast<Tfhelp *>(window) && ShowSection) {
            ShowSection(window->objectName(), window);
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}
