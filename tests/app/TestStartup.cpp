// Start-up of the main window: where it keeps its files (the data folder), the debug switch, the
// status bar and the resetting of views.
#include "ScriptedDialogs.h"
#include "TestWindow.h"
#include "app/WindowControls.h"
#include "support/ReadOnlyFolder.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScrollArea>
#include <QScrollBar>
#include <QStatusBar>
#include <QTabWidget>
#include <QTest>

#include <algorithm>

TEST(Startup, DebugSwitchIsDashOrSlashAndTheWordInAnyCase)
{
    const struct {
        QStringList arguments;
        bool debug;
    } cases[] = {
        {{}, false},
        {{QStringLiteral("-DEBUG")}, true},
        {{QStringLiteral("/debug")}, true},
        {{QStringLiteral("Pay.txt"), QStringLiteral("-Debug")}, true},
        {{QStringLiteral("debug")}, false},
        {{QStringLiteral("--debug")}, false},
        {{QStringLiteral("-debugx")}, false},
        {{QStringLiteral("-")}, false},
        {{QStringLiteral("/")}, false},
        {{QStringLiteral("-debug ")}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments.join(u' ').toStdString());
        TestWindow window(c.arguments);
        EXPECT_EQ(!window.session().debugFolder().isEmpty(), c.debug);
        EXPECT_EQ(HasCommandLineSwitch(c.arguments, QStringLiteral("debug")), c.debug);
    }

    // Any switch name works the same way; the program name is never taken for a switch.
    TestWindow window({QStringLiteral("/TRACE")}, QStringLiteral("-debug"));
    EXPECT_TRUE(HasCommandLineSwitch({QStringLiteral("/TRACE")}, QStringLiteral("trace")));
    EXPECT_TRUE(window.session().debugFolder().isEmpty());
}

TEST(Startup, FilesSitBesideAPortableExecutable)
{
    {
        TestWindow window;
        const QString folder = window.folder();
        TestWindow debug({QStringLiteral("-debug")});
        EXPECT_EQ(window.session().dataFolder(), folder);
        EXPECT_EQ(window.session().settingsFile(), folder + QStringLiteral("/zelvan.ini"));
        EXPECT_EQ(window.session().windowStateFile(), folder + QStringLiteral("/zelvan.pro"));
        EXPECT_EQ(debug.session().debugFolder(), debug.folder() + u'/');
    }
    {
        // Only the last extension of the file name is replaced ...
        TestWindow window({}, QStringLiteral("zelvan.1.2.exe"));
        EXPECT_EQ(window.session().settingsFile(), window.folder() + QStringLiteral("/zelvan.1.2.ini"));
        EXPECT_EQ(window.session().windowStateFile(), window.folder() + QStringLiteral("/zelvan.1.2.pro"));
    }
    {
        // ... and a dot in a folder name is not an extension.
        TestWindow window(
            [](const QString& folder) {
                ASSERT_TRUE(QDir(folder).mkdir(QStringLiteral("client.d")));
                ASSERT_TRUE(QDir(folder).rename(QStringLiteral("keys"), QStringLiteral("client.d/keys")));
            },
            {QStringLiteral("-debug")}, QStringLiteral("client.d/zelvan"));
        EXPECT_EQ(window.session().settingsFile(), window.folder() + QStringLiteral("/client.d/zelvan.ini"));
        EXPECT_EQ(window.session().windowStateFile(),
                  window.folder() + QStringLiteral("/client.d/zelvan.pro"));
        EXPECT_EQ(window.session().debugFolder(), window.folder() + QStringLiteral("/client.d/"));
    }
    {
        TestWindow window;
        // Starting writes no file beside the executable but the exchange journal it opens.
        EXPECT_EQ(
            QDir(window.folder()).entryList(QDir::Files | QDir::Hidden),
            QDir(window.folder()).entryList({QStringLiteral("journal.sqlite*")}, QDir::Files | QDir::Hidden));
    }
}

TEST(Startup, DataFolderIsMadeForItsOwnerInXdgOrWhereTheSwitchSays)
{
    QTemporaryDir root;
    const QDir dir(root.path());
    ASSERT_TRUE(dir.mkpath(QStringLiteral("bin")));
    QProcessEnvironment environment;
    environment.insert(QStringLiteral("HOME"), dir.filePath(QStringLiteral("home")));
    environment.insert(QStringLiteral("XDG_DATA_HOME"), dir.filePath(QStringLiteral("xdg")));
    const QString executable = dir.filePath(QStringLiteral("bin/zelvan"));
    const QFileDevice::Permissions ownerOnly =
        QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner;
    const QFileDevice::Permissions anyone = ownerOnly | QFileDevice::ReadGroup | QFileDevice::WriteGroup |
                                            QFileDevice::ExeGroup | QFileDevice::ReadOther |
                                            QFileDevice::WriteOther | QFileDevice::ExeOther;

    const struct {
        QStringList arguments;
        QString folder;
    } cases[] = {
        {{}, dir.filePath(QStringLiteral("xdg/zelvan"))},
        {{QStringLiteral("--data"), dir.filePath(QStringLiteral("data"))},
         dir.filePath(QStringLiteral("data"))},
        {{QStringLiteral("-debug"), QStringLiteral("--data=") + dir.filePath(QStringLiteral("other/z"))},
         dir.filePath(QStringLiteral("other/z"))},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments.join(u' ').toStdString());
        ScriptedDialogs dialogs;
        {
            Session session(StartupOptions{executable, c.arguments, environment}.sessionOptions());
            TfmZelvan window(session, dialogs);
            EXPECT_EQ(session.dataFolder(), c.folder);
            EXPECT_EQ(session.settingsFile(), c.folder + QStringLiteral("/zelvan.ini"));
            EXPECT_EQ(QFileInfo(c.folder).permissions() & anyone, ownerOnly);
            EXPECT_EQ(QFileInfo(c.folder + QStringLiteral("/keys")).permissions() & anyone, ownerOnly);
            const QString info = window.findChild<QPlainTextEdit*>(QStringLiteral("mmInfo"))->toPlainText();
            const QStringList lines = info.split(u'\n');
            EXPECT_TRUE(std::any_of(lines.begin(), lines.end(),
                                    [&](const QString& line) { return line.endsWith(u' ' + c.folder); }))
                << "the information tab names the data folder:\n"
                << info.toStdString();
        }
        // Closing stores the window state there, and nothing lands beside the executable.
        EXPECT_TRUE(QFileInfo::exists(c.folder + QStringLiteral("/zelvan.pro")));
        EXPECT_TRUE(QDir(dir.filePath(QStringLiteral("bin"))).isEmpty());
        EXPECT_TRUE(dialogs.shown().isEmpty());
    }
}

TEST(Startup, ADataFolderThatCannotBeMadeOrWrittenIsNamedAndGetsNothing)
{
    QTemporaryDir root;
    const QString locked = QDir(root.path()).filePath(QStringLiteral("locked"));
    ASSERT_TRUE(QDir().mkpath(locked));
    ReadOnlyFolder lock(locked);
    if (!lock.isReadOnly())
        GTEST_SKIP() << "this file system lets the folder be written whatever its permissions";
    for (const QString& folder : {locked + QStringLiteral("/zelvan"), locked}) {
        SCOPED_TRACE(folder.toStdString());
        ScriptedDialogs dialogs;
        {
            Session session(StartupOptions{
                QDir(root.path()).filePath(QStringLiteral("zelvan")),
                {QStringLiteral("--data"), folder},
                {}}.sessionOptions());
            TfmZelvan window(session, dialogs);
            // The window opens all the same, on the default settings.
            EXPECT_EQ(window.findChild<QLineEdit*>(QStringLiteral("edName"))->text(),
                      QStringLiteral("MYBANK"));
        }
        // Told once, at start; closing writes nothing and tells nothing more.
        const QList<ScriptedDialogs::Shown> errors = dialogs.shown(ScriptedDialogs::Kind::Error);
        ASSERT_EQ(errors.size(), 1);
        EXPECT_EQ(dialogs.shown().size(), 1);
        EXPECT_TRUE(errors[0].text.contains(QStringLiteral("папк")) && errors[0].text.contains(folder))
            << errors[0].text.toStdString();
        EXPECT_TRUE(QDir(locked).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden).isEmpty());
    }
}

TEST(Startup, AKeyStoreOthersCanReadIsWarnedAboutOnce)
{
    ScriptedDialogs dialogs;
    TestWindow window(TestWindowSetup().dialogs(dialogs).prepare([](const QString& folder) {
        QFile::setPermissions(folder + QStringLiteral("/keys"),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
                                  QFileDevice::ReadOther | QFileDevice::ExeOther);
    }));
    const QList<ScriptedDialogs::Shown> warnings = dialogs.shown(ScriptedDialogs::Kind::Warning);
    ASSERT_EQ(warnings.size(), 1);
    EXPECT_TRUE(warnings[0].text.contains(window.folder() + QStringLiteral("/keys")))
        << warnings[0].text.toStdString();
    EXPECT_EQ(dialogs.shown().size(), 1);
}

TEST(Startup, StatusGoesToTheThirdPanelAndDiesWithATabChange)
{
    TestWindow window;
    window->show();
    QCoreApplication::processEvents();
    QList<QLabel*> panels = window->statusBar()->findChildren<QLabel*>(Qt::FindDirectChildrenOnly);
    ASSERT_EQ(panels.size(), 3);
    std::sort(panels.begin(), panels.end(), [](QLabel* a, QLabel* b) { return a->x() < b->x(); });

    // Saving the settings says so in the status bar.
    window.control<QTabWidget>("pcMain")->setCurrentWidget(window.control<QWidget>("tsSettings"));
    QTest::mouseClick(window.control<QPushButton>("buSettingsSave"), Qt::LeftButton);
    EXPECT_EQ(panels[2]->text(), QStringLiteral("Настройки сохранены."));
    EXPECT_TRUE(panels[0]->text().isEmpty());
    EXPECT_TRUE(panels[1]->text().isEmpty());

    auto* tabs = window.control<QTabWidget>("pcMain");
    tabs->setCurrentIndex(tabs->currentIndex() == 0 ? 1 : 0);
    EXPECT_TRUE(panels[2]->text().isEmpty());
}

TEST(Startup, ResetViewsEmptiesViewsAndLeavesFieldsAlone)
{
    TestWindow window;
    window->show();
    window->resize(571, 463);
    auto* tabs = window.control<QTabWidget>("pcMain");
    tabs->setCurrentIndex(0);
    QCoreApplication::processEvents();

    auto* box = window.control<QScrollArea>("sbPayment");
    auto* memo = window.control<QPlainTextEdit>("mmCharges");
    auto* combo = window.control<QComboBox>("cbSupplierBillID");
    auto* edit = window.control<QLineEdit>("edPayeeINN");
    ASSERT_GT(box->verticalScrollBar()->maximum(), 0) << "the payment fields need scrolling";
    box->verticalScrollBar()->setValue(box->verticalScrollBar()->maximum());
    memo->setPlainText(QStringLiteral("SupplierBillID=1\nAmount=100"));
    combo->addItem(QStringLiteral("18810177150520012345"));
    edit->setText(QStringLiteral("7701234567"));

    WindowControls::ResetViews({box, memo, combo, edit});
    EXPECT_EQ(box->verticalScrollBar()->value(), 0);
    EXPECT_EQ(box->horizontalScrollBar()->value(), 0);
    EXPECT_TRUE(memo->toPlainText().isEmpty());
    EXPECT_EQ(combo->count(), 0);
    EXPECT_EQ(edit->text(), QStringLiteral("7701234567"));
}

TEST(Startup, ViewsStartEmpty)
{
    TestWindow window;
    EXPECT_EQ(window.control<QComboBox>("cbContainer")->count(), 0);
    EXPECT_TRUE(window.control<QPlainTextEdit>("mmCharges")->toPlainText().isEmpty());
    EXPECT_TRUE(window.control<QPlainTextEdit>("mmDocumentDetails")->toPlainText().isEmpty());
    EXPECT_TRUE(window.status().isEmpty());
}
