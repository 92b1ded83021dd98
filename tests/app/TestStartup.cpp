// Start-up of the main window: where it keeps its files, the debug switch, the status bar and
// the resetting of views.
#include "ScriptedDialogs.h"
#include "TestWindow.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScrollArea>
#include <QScrollBar>
#include <QStatusBar>
#include <QTabWidget>

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
        EXPECT_EQ(window->IsDebug(), c.debug);
        EXPECT_EQ(window->HasDebugSwitch(QStringLiteral("debug")), c.debug);
    }

    // Any switch name works the same way; the program name is never taken for a switch.
    TestWindow window({QStringLiteral("/TRACE")}, QStringLiteral("-debug"));
    EXPECT_TRUE(window->HasDebugSwitch(QStringLiteral("trace")));
    EXPECT_FALSE(window->IsDebug());
}

TEST(Startup, FilesSitBesideTheExecutable)
{
    {
        TestWindow window;
        const QString folder = window.folder();
        EXPECT_EQ(window->IniFileName(), folder + QStringLiteral("/zelvan.ini"));
        EXPECT_EQ(window->PropFileName(), folder + QStringLiteral("/zelvan.pro"));
        EXPECT_EQ(window->AppPath(), folder + u'/');
    }
    {
        // Only the last extension of the file name is replaced ...
        TestWindow window({}, QStringLiteral("zelvan.1.2.exe"));
        EXPECT_EQ(window->IniFileName(), window.folder() + QStringLiteral("/zelvan.1.2.ini"));
        EXPECT_EQ(window->PropFileName(), window.folder() + QStringLiteral("/zelvan.1.2.pro"));
    }
    {
        // ... and a dot in a folder name is not an extension. The folder does not exist, so
        // storing the window state on closing fails; that is shown, not waited on.
        ScriptedDialogs dialogs;
        TestWindow window({}, QStringLiteral("client.d/zelvan"));
        EXPECT_EQ(window->IniFileName(), window.folder() + QStringLiteral("/client.d/zelvan.ini"));
        EXPECT_EQ(window->PropFileName(), window.folder() + QStringLiteral("/client.d/zelvan.pro"));
        EXPECT_EQ(window->AppPath(), window.folder() + QStringLiteral("/client.d/"));
    }
    {
        TestWindow window;
        // Starting writes nothing beside the executable.
        EXPECT_TRUE(QDir(window.folder()).isEmpty());
    }
}

TEST(Startup, StatusGoesToTheThirdPanelAndDiesWithATabChange)
{
    TestWindow window;
    window->show();
    QCoreApplication::processEvents();
    QList<QLabel*> panels = window->statusBar()->findChildren<QLabel*>(Qt::FindDirectChildrenOnly);
    ASSERT_EQ(panels.size(), 3);
    std::sort(panels.begin(), panels.end(), [](QLabel* a, QLabel* b) { return a->x() < b->x(); });

    const QString text = QStringLiteral("Получение статуса обработки сообщения...");
    window->SetStatus(text, true);
    EXPECT_EQ(panels[2]->text(), text);
    EXPECT_TRUE(panels[0]->text().isEmpty());
    EXPECT_TRUE(panels[1]->text().isEmpty());
    EXPECT_EQ(window->StatusText(), text);

    window->SetStatus(QStringLiteral("Отправлено."));
    EXPECT_EQ(panels[2]->text(), QStringLiteral("Отправлено."));

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

    TfmZelvan::ResetViews({box, memo, combo, edit});
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
    EXPECT_TRUE(window->StatusText().isEmpty());
}
