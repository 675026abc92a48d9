// The Chinese UI: every text of the sources and forms has a finished translation, and the main
// window shown in zh_CN holds no English word that is not data or an allowed token.

#include "testhelpers.h"

#include "demodatabase.h"
#include "hdatabase.h"
#include "hdbfind.h"
#include "heditorpage.h"
#include "hmessagebox.h"
#include "mainwindow.h"
#include "textscan.h"
#include "translatestring.h"

#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QRegularExpression>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlRecord>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTranslator>
#include <QXmlStreamReader>
#include <QtTest>

using namespace TestHelpers;

namespace {

const QString kLanguage = QStringLiteral("zh_CN");
const QString kTsFile = QStringLiteral(PM_SOURCE_DIR "/translations/product_zh_CN.ts");

// Latin words a Chinese text may keep: abbreviations and names the English keeps as codes.
const QSet<QString> kAllowedWords = {"ODU", "IDU", "OEM", "Excel", "ID", "Ctrl",
                                     // names of back ends, a variable, a file and languages
                                     "SQLite", "Access", "PostgreSQL", "PRODUCT_DB", "Product",
                                     "mdb", "zh_CN", "en", "postgresql", "URL",
                                     // the rule tables' own names, shown as they are
                                     "AdditionalCharge", "Altitude", "CentralizedController",
                                     "ConnectRatio", "EquivalentPipeLength", "Limit",
                                     "PipeDimension", "UnitCapacityConversion", "UnitType"};

const QRegularExpression kWord(QStringLiteral("[A-Za-z][A-Za-z0-9_]+"));

// The Latin words of `text` that need a translation: placeholders (%1), mnemonics (&T), file
// names and patterns (*.xls, <file>.unreadable.bak) and quoted names ("modellist") are left
// out, as are allowed words and `dataWords`.
QStringList englishWords(QString text, const QSet<QString> &dataWords = {})
{
    static const QRegularExpression skipped(
        QStringLiteral("%\\d+|&\\w|\"[^\"]*\"|“[^”]*”|\\S*\\.\\w+|\\[[^\\]]*\\]"));
    text.replace(skipped, QStringLiteral(" "));
    QStringList words;
    for (auto it = kWord.globalMatch(text); it.hasNext();) {
        const QString found = it.next().captured();
        if (!kAllowedWords.contains(found) && !dataWords.contains(found))
            words.append(found);
    }
    return words;
}

// context -> source -> translation; unfinished ones come back empty.
QHash<QString, QHash<QString, QString>> readTs(QIODevice *file, QString *error)
{
    QHash<QString, QHash<QString, QString>> result;
    QXmlStreamReader xml(file);
    QString context, source;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        const bool unfinished = xml.attributes().value("type") == QLatin1String("unfinished");
        if (xml.name() == QLatin1String("name"))
            context = xml.readElementText();
        else if (xml.name() == QLatin1String("source"))
            source = xml.readElementText();
        else if (xml.name() == QLatin1String("translation"))
            result[context][source] = unfinished ? QString() : xml.readElementText();
    }
    *error = xml.errorString();
    return result;
}

// An editor page with unsaved work, to see Qt's own buttons of its question.
class ModifiedPage : public HEditorPage
{
public:
    ModifiedPage() { setModified(true); }
    void save() override { HSaveRound::report(this, HSaveOutcome()); }
};

} // namespace

class TestTranslation : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void textScan_data();
    void textScan();
    void everyTextHasAChineseTranslation();
    void qtDialogButtonsAreChinese();
    void mainWindowShowsNoEnglish();

private:
    QTemporaryDir m_dir;
};

void TestTranslation::initTestCase()
{
    QVERIFY(installProductTranslator(*qApp, kLanguage, QStringLiteral(PM_TRANSLATIONS_DIR)));
    QVERIFY(m_dir.isValid());
}

void TestTranslation::cleanup()
{
    HDbFind::closeDb();
    cleanAppFolders();
}

// The scan that feeds lupdate and the check below: a text it misses is never translated.
void TestTranslation::textScan_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<int>("indirect");
    QTest::newRow("literal") << R"(f(TranslateString("Warning"));)" << QStringList{"Warning"} << 0;
    QTest::newRow("wrapped, joined over lines")
        << "x = TranslateString(QStringLiteral(\"Save \"\n   // note\n  \"them\" \"?\"));"
        << QStringList{"Save them?"} << 0;
    QTest::newRow("escapes and UTF-8")
        << R"(TranslateString(QStringLiteral("\"%1\" ok\n\t\\ 室外机"));)"
        << QStringList{"\"%1\" ok\n\t\\ 室外机"} << 0;
    QTest::newRow("comments are not code")
        << "// TranslateString(\"a\")\n/* TranslateString(\"b\") */ TranslateString(\"c\");"
        << QStringList{"c"} << 0;
    QTest::newRow("text built at run time")
        << R"(TranslateString(QStringLiteral("a") + b);)" << QStringList{} << 1;
    QTest::newRow("variable, declaration")
        << "QString TranslateString(const QString &text);\nTranslateString(type);" << QStringList{}
        << 1;
    QTest::newRow("marked texts, own context only")
        << R"(QT_TRANSLATE_NOOP("TranslateString", "Branch"), QT_TRANSLATE_NOOP("X", "Y"))"
        << QStringList{"Branch"} << 0;
    QTest::newRow("call in a literal, raw literal")
        << "s = \"TranslateString(\\\"no\\\")\"; TranslateString(R\"(raw \"q\")\");"
        << QStringList{"raw \"q\""} << 0;
}

void TestTranslation::textScan()
{
    QFETCH(QString, code);
    QFETCH(QStringList, texts);
    QFETCH(int, indirect);
    const TextScan::Result result = TextScan::scanSource(code, QStringLiteral("x.cpp"));
    QStringList found;
    for (const TextScan::Text &text : result.texts)
        found.append(text.source);
    QCOMPARE(found, texts);
    QCOMPARE(result.indirect.size(), indirect);
}

// Every text passed to TranslateString and every form text has a finished translation in the
// .ts and in the built .qm, without English words left in it.
void TestTranslation::everyTextHasAChineseTranslation()
{
    QFile file(kTsFile);
    QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(file.errorString()));
    QString error;
    const auto ts = readTs(&file, &error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    const TextScan::Result scan = TextScan::scanTree(QStringLiteral(PM_SOURCE_DIR));
    QVERIFY(scan.texts.size() > 50); // the scan found the tree

    QStringList problems;
    for (const TextScan::Text &text : scan.texts) {
        const QString stored = ts.value(text.context).value(text.source);
        const QString loaded = QCoreApplication::translate(text.context.toUtf8().constData(),
                                                           text.source.toUtf8().constData());
        QString problem;
        if (!ts.value(text.context).contains(text.source))
            problem = QStringLiteral("not in the .ts (run the target update-translations)");
        else if (stored.isEmpty())
            problem = QStringLiteral("unfinished in the .ts");
        else if (loaded != stored)
            problem = QStringLiteral("the built .qm differs from the .ts");
        else if (!englishWords(stored).isEmpty())
            problem = QStringLiteral("English left in \"%1\"").arg(stored);
        if (!problem.isEmpty())
            problems.append(QStringLiteral("%1 [%2] \"%3\": %4")
                                .arg(text.where, text.context, text.source, problem));
    }
    problems.removeDuplicates();
    QVERIFY2(
        problems.isEmpty(),
        qPrintable(QStringLiteral("%1 texts lack a Chinese translation:\n").arg(problems.size()) +
                   problems.join(QLatin1Char('\n'))));
}

// Qt's own buttons (Save/Discard/Cancel, Yes/No) come in Chinese from Qt's translations.
void TestTranslation::qtDialogButtonsAreChinese()
{
    if (!QFile::exists(QLibraryInfo::location(QLibraryInfo::TranslationsPath) +
                       QStringLiteral("/qtbase_zh_CN.qm")))
        QSKIP("Qt's own translations are not installed (qttranslations5-l10n)");
    ModifiedPage page;
    const std::pair<int, std::function<void()>> cases[] = {
        {3, [&page] { page.confirmDiscard(); }}, // Save, Discard, Cancel
        {2, [] { HMessageBox::question(nullptr, "Question", "?"); }}};
    for (const auto &[buttons, show] : cases) {
        QStringList texts;
        ModalAnswerer answerer;
        answerer.act([&texts](QWidget *widget) {
            if (auto *box = qobject_cast<QMessageBox *>(widget)) {
                for (QAbstractButton *button : box->buttons())
                    texts.append(button->text());
            }
            widget->close();
        });
        show();
        QCOMPARE(texts.size(), buttons);
        QVERIFY2(englishWords(texts.join(' ')).isEmpty(), qPrintable(texts.join(", ")));
    }
}

// The main window in Chinese on the demo data: every widget, action, tab title, tooltip,
// placeholder, header and combo item of every tab holds no English word that is not data.
void TestTranslation::mainWindowShowsNoEnglish()
{
    const QString db = m_dir.filePath(QStringLiteral("Product.mdb"));
    QString error;
    QVERIFY2(DemoDatabase::writeDemo(db, appFolder(QStringLiteral("config")), &error),
             qPrintable(error));
    useProductDb(db);

    // Words of the data: every text value, table and column name of the database, and
    // where it lies.
    QSet<QString> dataWords;
    auto addWords = [&dataWords](const QString &text) {
        for (auto it = kWord.globalMatch(text); it.hasNext();)
            dataWords.insert(it.next().captured());
    };
    addWords(HDbFind::getDb()->fileName());
    {
        const QSqlDatabase sql = HDbFind::getDb()->getSqlDatabase();
        for (const QString &table : sql.tables()) {
            addWords(table);
            const QSqlRecord record = sql.record(table);
            for (int i = 0; i < record.count(); ++i)
                addWords(record.fieldName(i));
            for (const QString &row : sqlRows(db, QStringLiteral("select * from [%1]").arg(table)))
                addWords(row);
        }
    }
    // ... and of the brand schemes (names, install codes, OEM models).
    const QDir config(appFolder(QStringLiteral("config")));
    for (const QString &scheme : config.entryList(QDir::Files)) {
        addWords(scheme);
        addWords(QString::fromUtf8(fileBytes(config.filePath(scheme))));
    }

    MainWindow window;
    auto *tabs = window.findChild<QTabWidget *>(QStringLiteral("tabWidget"));
    QVERIFY(tabs);
    QMap<QString, QStringList> seen; // text -> where
    auto note = [&seen](const QString &where, const QString &text) {
        if (!text.isEmpty())
            seen[text].append(where);
    };
    for (int i = 0; i < tabs->count(); ++i) {
        tabs->setCurrentIndex(i);
        // A click on the first series fills the lists and tables that follow it.
        for (const char *name : {"listView_all_odu", "listView_all_series", "tableWidget_Series"}) {
            auto *view = tabs->widget(i)->findChild<QAbstractItemView *>(QLatin1String(name));
            if (view && view->model() && view->model()->rowCount() > 1)
                clickRow(view, 1);
        }
        QTest::qWait(10);
        if (auto *page = qobject_cast<HEditorPage *>(tabs->widget(i)))
            note(QStringLiteral("tab %1 status").arg(i), page->statusText());
    }
    // Every widget of the window, the tabs' ones too (filled above): menus, buttons, status
    // bar.
    QList<QWidget *> widgets = window.findChildren<QWidget *>();
    widgets.prepend(&window);
    for (QWidget *w : qAsConst(widgets)) {
        const QString where =
            QLatin1String(w->metaObject()->className()) + QLatin1Char(' ') + w->objectName();
        note(where + " tooltip", w->toolTip());
        if (w->isWindow())
            note(where + " title", w->windowTitle());
        if (auto *b = qobject_cast<QAbstractButton *>(w))
            note(where, b->text());
        if (auto *l = qobject_cast<QLabel *>(w))
            note(where, l->text());
        if (auto *e = qobject_cast<QLineEdit *>(w))
            note(where + " placeholder", e->placeholderText());
        if (auto *g = qobject_cast<QGroupBox *>(w))
            note(where, g->title());
        if (auto *c = qobject_cast<QComboBox *>(w)) {
            for (int i = 0; i < c->count(); ++i)
                note(where + " item", c->itemText(i));
        }
        if (auto *h = qobject_cast<QHeaderView *>(w); h && h->model()) {
            for (int i = 0; i < h->count(); ++i)
                note(where + " header", h->model()->headerData(i, h->orientation()).toString());
        }
        if (auto *t = qobject_cast<QTabWidget *>(w)) {
            for (int i = 0; i < t->count(); ++i) {
                note(where + " tab", t->tabText(i));
                note(where + " tab tooltip", t->tabToolTip(i));
            }
        }
        for (QAction *a : w->actions()) {
            note(where + " action", a->text());
            note(where + " action tooltip",
                 a->toolTip() == a->text().remove('&') ? QString() : a->toolTip());
        }
    }

    QStringList untranslated;
    for (auto it = seen.cbegin(); it != seen.cend(); ++it) {
        const QStringList words = englishWords(it.key(), dataWords);
        if (!words.isEmpty())
            untranslated.append(
                QStringLiteral("\"%1\" (%2) at %3")
                    .arg(it.key(), words.join(QLatin1Char(' ')), it.value().first()));
    }
    QVERIFY2(untranslated.isEmpty(),
             qPrintable(QStringLiteral("%1 texts shown in English:\n").arg(untranslated.size()) +
                        untranslated.join(QLatin1Char('\n'))));
}

QTEST_MAIN(TestTranslation)
#include "tst_translation.moc"
