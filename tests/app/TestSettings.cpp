// The settings tab's file and the window state, through the real window: the operator's first
// start, the save button, hand-edited files, a locked folder, and closing and reopening the window.
#include "ModalHandler.h"
#include "PressButton.h"
#include "ScriptedDialogs.h"
#include "TestWindow.h"

#include "support/FileSizeLimit.h"
#include "support/ReadOnlyFolder.h"
#include "support/TestKeys.h"

#include "app/CertificateViewer.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>

namespace {

using Kind = ScriptedDialogs::Kind;

QByteArray FileBytes(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray("<missing>");
    return file.readAll();
}

void PutFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    file.write(bytes);
}

std::function<void(const QString&)> WithFile(const QString& name, const QByteArray& bytes)
{
    return [name, bytes](const QString& folder) { PutFile(QDir(folder).filePath(name), bytes); };
}

QString Page(TestWindow& window)
{
    return window.control<QTabWidget>("pcMain")->currentWidget()->objectName();
}

QString Text(TestWindow& window, const char* name)
{
    if (auto* edit = window->findChild<QLineEdit*>(QLatin1String(name)))
        return edit->text();
    return window.control<QComboBox>(QLatin1String(name))->currentText();
}

bool Checked(TestWindow& window, const char* name)
{
    return window.control<QCheckBox>(QLatin1String(name))->isChecked();
}

// Presses the settings tab's save button the way the operator does.
void PressSave(TestWindow& window)
{
    window->show();
    window.control<QTabWidget>("pcMain")->setCurrentWidget(window.control<QWidget>("tsSettings"));
    QTest::mouseClick(window.control<QPushButton>("buSettingsSave"), Qt::LeftButton);
}

// Two containers whose folders sort in the other order than they were made.
void AddContainers(TestKeyStore& store)
{
    store.addContainer(QStringLiteral("beta"));
    store.addContainer(QStringLiteral("alpha"));
}

} // namespace

TEST(Settings, FirstStartShowsTheDefaults)
{
    TestKeyStore store;
    AddContainers(store);
    ScriptedDialogs dialogs;
    TestWindow window(TestWindowSetup().dialogs(dialogs).keyStore(store.path()));

    EXPECT_TRUE(window->isMaximized());
    EXPECT_EQ(Page(window), QStringLiteral("tsSettings"));
    EXPECT_EQ(Text(window, "cbServiceChargesGISGMP"),
              QStringLiteral("http://smev-mvf.test.gosuslugi.ru:7777/gateway/services/SID0003663"));
    EXPECT_EQ(Text(window, "cbServicePaymentGISGMP"),
              QStringLiteral("http://smev-mvf.test.gosuslugi.ru:7777/gateway/services/SID0003663"));
    EXPECT_EQ(Text(window, "cbServiceChargesGISGKX"),
              QStringLiteral("http://smev-mvf.test.gosuslugi.ru:7777/gateway/services/SID0004153"));
    EXPECT_EQ(Text(window, "cbServicePaymentGISGKX"),
              QStringLiteral("http://smev-mvf.test.gosuslugi.ru:7777/gateway/services/SID0004154"));
    EXPECT_EQ(Text(window, "cbTimeStamp"), QStringLiteral("http://www.cryptopro.ru/tsp/tsp.srf"));
    EXPECT_EQ(Text(window, "edName"), QStringLiteral("MYBANK"));
    EXPECT_EQ(Text(window, "edSMEVCode"), QStringLiteral("AAAA11111"));
    EXPECT_EQ(Text(window, "edGISGMPCode"), QStringLiteral("111aa1"));
    EXPECT_EQ(Text(window, "edGISGKXCode"), QStringLiteral("111a1111-1a1a-1aaa-aa11-1aa11aaa1111"));
    EXPECT_FALSE(Checked(window, "ckTest"));
    EXPECT_FALSE(Checked(window, "ckTimeStamp"));
    auto* containers = window.control<QComboBox>("cbContainer");
    EXPECT_EQ(containers->count(), 2);
    EXPECT_EQ(containers->currentText(), QStringLiteral("alpha"));
    EXPECT_TRUE(window.status().isEmpty());

    // The defaults live in memory only: nothing is written until the operator saves.
    EXPECT_FALSE(QFile::exists(window.session().settingsFile()));
    EXPECT_TRUE(dialogs.shown().isEmpty());
}

TEST(Settings, FirstStartWithoutContainersLeavesTheContainerEmpty)
{
    TestKeyStore store;
    ScriptedDialogs dialogs;
    TestWindow window(TestWindowSetup()
                          .dialogs(dialogs)
                          .prepare(WithFile(QStringLiteral("zelvan.ini"), "CryptContainer=alpha\r\n"))
                          .keyStore(store.path()));
    auto* containers = window.control<QComboBox>("cbContainer");
    EXPECT_EQ(containers->count(), 0);
    EXPECT_EQ(containers->currentText(), QString());
    EXPECT_TRUE(dialogs.shown().isEmpty());
}

TEST(Settings, SavedSettingsComeBackAtTheNextStart)
{
    TestKeyStore store;
    AddContainers(store);
    ScriptedDialogs dialogs;
    QByteArray saved;
    {
        TestWindow window(TestWindowSetup().dialogs(dialogs).keyStore(store.path()));
        window.control<QComboBox>("cbServiceChargesGISGMP")
            ->setEditText(QStringLiteral("http://127.0.0.1:1/a"));
        window.control<QComboBox>("cbServicePaymentGISGMP")
            ->setEditText(QStringLiteral("http://127.0.0.1:2/b"));
        window.control<QComboBox>("cbServiceChargesGISGKX")
            ->setEditText(QStringLiteral("http://127.0.0.1:3/c"));
        window.control<QComboBox>("cbServicePaymentGISGKX")
            ->setEditText(QStringLiteral("http://127.0.0.1:4/d"));
        window.control<QComboBox>("cbTimeStamp")->setEditText(QStringLiteral("http://127.0.0.1:5/tsp"));
        window.control<QLineEdit>("edName")->setText(QStringLiteral("Банк «Россия»"));
        window.control<QLineEdit>("edSMEVCode")->setText(QStringLiteral("BANK12345"));
        window.control<QLineEdit>("edGISGMPCode")->setText(QStringLiteral("222bb2"));
        window.control<QLineEdit>("edGISGKXCode")->setText(QStringLiteral("guid=with=equals"));
        window.control<QCheckBox>("ckTest")->setChecked(true);
        window.control<QCheckBox>("ckTimeStamp")->setChecked(true);
        window.control<QComboBox>("cbContainer")->setCurrentIndex(1);
        window.control<QCheckBox>("ckVerifyReplySignature")->setChecked(true);
        window.control<QCheckBox>("ckVerifyServerCertificate")->setChecked(true);
        window.control<QCheckBox>("ckAcceptIssuedReplySigners")->setChecked(true);
        // The trust file is chosen with the button beside its field.
        dialogs.answerFile(QStringLiteral("/etc/zelvan/доверенные.pem"));
        window->show();
        QTest::mouseClick(window.control<QPushButton>("buTrustedCertificates"), Qt::LeftButton);
        PressSave(window);
        EXPECT_EQ(window.status(), QStringLiteral("Настройки сохранены."));
        saved = FileBytes(window.session().settingsFile());
    }
    EXPECT_TRUE(dialogs.shown(Kind::Error).isEmpty());

    // Every key in its order, Windows-1251, CR LF.
    const QByteArray expected = QByteArray("ServiceChargesGISGMP=http://127.0.0.1:1/a\r\n"
                                           "ServicePaymentGISGMP=http://127.0.0.1:2/b\r\n"
                                           "ServiceChargesGISGKX=http://127.0.0.1:3/c\r\n"
                                           "ServicePaymentGISGKX=http://127.0.0.1:4/d\r\n"
                                           "SystemName=") +
                                QByteArray::fromHex("c1e0edea20abd0eef1f1e8ffbb") +
                                "\r\nSMEVCode=BANK12345\r\n"
                                "GISGMPCode=222bb2\r\n"
                                "GISGKXCode=guid=with=equals\r\n"
                                "TimeStampServer=http://127.0.0.1:5/tsp\r\n"
                                "SoapTestMode=1\r\n"
                                "TimeStampEnable=1\r\n"
                                "CryptContainer=beta\r\n"
                                "VerifyReplySignature=1\r\n"
                                "VerifyServerCertificate=1\r\n"
                                "TrustedCertificates=/etc/zelvan/" +
                                QByteArray::fromHex("e4eee2e5f0e5ededfbe5") +
                                ".pem\r\n"
                                "AcceptIssuedReplySigners=1\r\n"
                                "JournalDatabase=\r\n";
    EXPECT_EQ(saved, expected);

    TestWindow again(TestWindowSetup()
                         .dialogs(dialogs)
                         .prepare(WithFile(QStringLiteral("zelvan.ini"), saved))
                         .keyStore(store.path()));
    EXPECT_EQ(Text(again, "cbServiceChargesGISGMP"), QStringLiteral("http://127.0.0.1:1/a"));
    EXPECT_EQ(Text(again, "cbServicePaymentGISGMP"), QStringLiteral("http://127.0.0.1:2/b"));
    EXPECT_EQ(Text(again, "cbServiceChargesGISGKX"), QStringLiteral("http://127.0.0.1:3/c"));
    EXPECT_EQ(Text(again, "cbServicePaymentGISGKX"), QStringLiteral("http://127.0.0.1:4/d"));
    EXPECT_EQ(Text(again, "cbTimeStamp"), QStringLiteral("http://127.0.0.1:5/tsp"));
    EXPECT_EQ(Text(again, "edName"), QStringLiteral("Банк «Россия»"));
    EXPECT_EQ(Text(again, "edSMEVCode"), QStringLiteral("BANK12345"));
    EXPECT_EQ(Text(again, "edGISGMPCode"), QStringLiteral("222bb2"));
    EXPECT_EQ(Text(again, "edGISGKXCode"), QStringLiteral("guid=with=equals"));
    EXPECT_TRUE(Checked(again, "ckTest"));
    EXPECT_TRUE(Checked(again, "ckTimeStamp"));
    EXPECT_EQ(Text(again, "cbContainer"), QStringLiteral("beta"));
    EXPECT_TRUE(Checked(again, "ckVerifyReplySignature"));
    EXPECT_TRUE(Checked(again, "ckVerifyServerCertificate"));
    EXPECT_TRUE(Checked(again, "ckAcceptIssuedReplySigners"));
    EXPECT_EQ(Text(again, "edTrustedCertificates"), QStringLiteral("/etc/zelvan/доверенные.pem"));

    // The shared journal the file names is shown, kept on saving, and checked on request: a
    // server nobody answers on is named with the reason, the data folder's file is opened.
    const QByteArray shared = QByteArray(saved).replace(
        "JournalDatabase=\r\n", "JournalDatabase=postgresql://bank@127.0.0.1:1/journal\r\n");
    TestWindow third(TestWindowSetup()
                         .dialogs(dialogs)
                         .prepare(WithFile(QStringLiteral("zelvan.ini"), shared))
                         .keyStore(store.path()));
    PressSave(third);
    EXPECT_EQ(FileBytes(third.session().settingsFile()), shared);
    dialogs.clear();
    PressButton(third, QStringLiteral("buJournalDatabaseCheck"));
    const QList<ScriptedDialogs::Shown> refused = dialogs.shown(ScriptedDialogs::Kind::Error);
    ASSERT_EQ(refused.size(), 1);
    EXPECT_TRUE(refused[0].text.contains(QStringLiteral("bank@127.0.0.1:1/journal")))
        << refused[0].text.toStdString();
    third.control<QLineEdit>("edJournalDatabase")->clear();
    dialogs.clear();
    PressButton(third, QStringLiteral("buJournalDatabaseCheck"));
    ASSERT_EQ(dialogs.shown().size(), 1);
    const QString found = dialogs.shown()[0].text;
    EXPECT_TRUE(found.contains(QStringLiteral("journal.sqlite")) && found.contains(QStringLiteral(": 0,")) &&
                found.contains(QStringLiteral("перезапуска")))
        << found.toStdString();
}

TEST(Settings, NameOutsideWindows1251SurvivesTheFile)
{
    TestKeyStore store;
    ScriptedDialogs dialogs;
    const QString name = QString::fromUtf8("Ωmega \xE4\xB8\xAD Банк");
    QByteArray saved;
    {
        TestWindow window(TestWindowSetup().dialogs(dialogs).keyStore(store.path()));
        window.control<QLineEdit>("edName")->setText(name);
        PressSave(window);
        saved = FileBytes(window.session().settingsFile());
    }
    EXPECT_EQ(saved.left(3).toHex(), QByteArray("efbbbf"));
    TestWindow again(TestWindowSetup()
                         .dialogs(dialogs)
                         .prepare(WithFile(QStringLiteral("zelvan.ini"), saved))
                         .keyStore(store.path()));
    EXPECT_EQ(Text(again, "edName"), name);
    EXPECT_TRUE(dialogs.shown(Kind::Error).isEmpty());
}

TEST(Settings, HandEditedFileIsTakenLiterally)
{
    TestKeyStore store;
    AddContainers(store);
    ScriptedDialogs dialogs;
    // Keys in any case; "true" is not "1"; a missing key leaves its control empty, not default;
    // a container that is gone gives way to the first one; a Windows-1251 name written by hand.
    TestWindow window(
        TestWindowSetup()
            .dialogs(dialogs)
            .prepare(WithFile(QStringLiteral("zelvan.ini"), QByteArray("soaptestmode=true\n"
                                                                       "TIMESTAMPENABLE=1\n"
                                                                       "CryptContainer=gone\n"
                                                                       "systemname=") +
                                                                QByteArray::fromHex("cff0e8e2e5f2") + "\n"))
            .keyStore(store.path()));
    EXPECT_FALSE(Checked(window, "ckTest"));
    EXPECT_TRUE(Checked(window, "ckTimeStamp"));
    EXPECT_EQ(Text(window, "edName"), QStringLiteral("Привет"));
    EXPECT_EQ(Text(window, "edSMEVCode"), QString());
    EXPECT_EQ(Text(window, "cbServiceChargesGISGMP"), QString());
    EXPECT_EQ(Text(window, "cbTimeStamp"), QString());
    EXPECT_EQ(Text(window, "cbContainer"), QStringLiteral("alpha"));
    // A file from before the trust settings leaves every check and permission off.
    EXPECT_FALSE(Checked(window, "ckVerifyReplySignature"));
    EXPECT_FALSE(Checked(window, "ckVerifyServerCertificate"));
    EXPECT_FALSE(Checked(window, "ckAcceptIssuedReplySigners"));
    EXPECT_EQ(Text(window, "edTrustedCertificates"), QString());
    EXPECT_TRUE(dialogs.shown().isEmpty());
}

TEST(Settings, UnreadableSettingsFileIsReportedAndTheWindowStillOpens)
{
    TestKeyStore store;
    ScriptedDialogs dialogs;
    // A folder where the file should be: it cannot be read as a file.
    TestWindow window(TestWindowSetup()
                          .dialogs(dialogs)
                          .prepare([](const QString& folder) {
                              ASSERT_TRUE(QDir(folder).mkdir(QStringLiteral("zelvan.ini")));
                          })
                          .keyStore(store.path()));
    const QList<ScriptedDialogs::Shown> errors = dialogs.shown(Kind::Error);
    ASSERT_EQ(errors.size(), 1);
    EXPECT_TRUE(errors[0].text.contains(QStringLiteral("zelvan.ini"))) << errors[0].text.toStdString();
    // The steps after the failing one are skipped: the window state is not restored.
    EXPECT_FALSE(window->isMaximized());
    EXPECT_EQ(Page(window), QStringLiteral("tsGISGKXPayment"));
}

TEST(Settings, DamagedFileIsReadAsItIsAndNamedToTheOperator)
{
    TestKeyStore store;
    ScriptedDialogs dialogs;
    // Line 2 holds the one byte Windows-1251 has no letter for, line 4 the zeros of a bad sector.
    TestWindow window(
        TestWindowSetup()
            .dialogs(dialogs)
            .prepare(WithFile(QStringLiteral("zelvan.ini"), QByteArray("SystemName=BANK\r\nSMEVCode=AB\x98"
                                                                       "C\r\nGISGMPCode=1\r\nGISGKXCode=") +
                                                                QByteArray(3, '\0') + "\r\n"))
            .keyStore(store.path()));
    EXPECT_EQ(Text(window, "edName"), QStringLiteral("BANK"));
    const QString ini =
        QDir::toNativeSeparators(QFileInfo(window.session().settingsFile()).absoluteFilePath());
    const QList<ScriptedDialogs::Shown> warnings = dialogs.shown(Kind::Warning);
    ASSERT_EQ(warnings.size(), 1);
    EXPECT_EQ(warnings[0].text, QStringLiteral("Файл \"%1\" поврежден:\nстроки 2, 4: байты, недопустимые в "
                                               "кодировке Windows-1251\nПроверьте значения, прежде чем "
                                               "отправлять сообщение.")
                                    .arg(ini));

    // What a full disk used to leave: an empty file, which opened as no settings at all.
    dialogs.clear();
    TestWindow empty(TestWindowSetup()
                         .dialogs(dialogs)
                         .prepare(WithFile(QStringLiteral("zelvan.ini"), QByteArray()))
                         .keyStore(store.path()));
    ASSERT_EQ(dialogs.shown(Kind::Warning).size(), 1);
    EXPECT_TRUE(
        dialogs.shown(Kind::Warning)[0].text.contains(QStringLiteral("нет ни одного известного ключа")));
    EXPECT_TRUE(dialogs.shown(Kind::Error).isEmpty());
}

TEST(Settings, SaveOnAFullDiskOrIntoALockedFolderFailsAndKeepsTheOldFile)
{
    TestKeyStore store;
    ScriptedDialogs dialogs;
    const QByteArray old = "SystemName=OLD\r\n";
    TestWindow window(TestWindowSetup()
                          .dialogs(dialogs)
                          .prepare(WithFile(QStringLiteral("zelvan.ini"), old))
                          .keyStore(store.path()));
    window.control<QLineEdit>("edName")->setText(QStringLiteral("NEW"));
    {
        // The disk is full after a few octets.
        ScopedFileSizeLimit disk(8);
        PressSave(window);
    }
    ASSERT_EQ(dialogs.shown(Kind::Error).size(), 1);
    EXPECT_EQ(dialogs.shown(Kind::Error)[0].text,
              QStringLiteral("Ошибка записи в файл \"%1\".\nFile too large")
                  .arg(QDir::toNativeSeparators(window.session().settingsFile())));
    EXPECT_EQ(FileBytes(window.session().settingsFile()), old);
    EXPECT_NE(window.status(), QStringLiteral("Настройки сохранены."));

    dialogs.clear();
    {
        ReadOnlyFolder locked(window.folder());
        if (!locked.isReadOnly())
            GTEST_SKIP() << "this file system lets the folder be written whatever its permissions";
        PressSave(window);
    }
    const QList<ScriptedDialogs::Shown> errors = dialogs.shown(Kind::Error);
    ASSERT_EQ(errors.size(), 1);
    EXPECT_TRUE(errors[0].text.contains(window.session().settingsFile())) << errors[0].text.toStdString();
    EXPECT_EQ(FileBytes(window.session().settingsFile()), old);
    EXPECT_NE(window.status(), QStringLiteral("Настройки сохранены."));
}

TEST(Settings, CertificateButtonShowsTheChosenContainer)
{
    TestKeyStore store;
    TestKeyOptions options;
    options.commonName = QStringLiteral("Подписант Второй");
    store.addContainer(QStringLiteral("alpha"));
    store.addContainer(QStringLiteral("beta"), options);
    ScriptedDialogs dialogs;
    TestWindow window(TestWindowSetup().dialogs(dialogs).keyStore(store.path()));
    window->show();
    window.control<QTabWidget>("pcMain")->setCurrentWidget(window.control<QWidget>("tsSettings"));
    window.control<QComboBox>("cbContainer")->setCurrentIndex(1);

    QString subject;
    QWidget* owner = nullptr;
    ModalHandler viewer([&](QWidget* modal) {
        auto* dialog = qobject_cast<TfmCertificate*>(modal);
        ASSERT_NE(dialog, nullptr) << modal->metaObject()->className();
        owner = dialog->parentWidget();
        subject = dialog->findChild<QLineEdit*>(QStringLiteral("edSubject"))->text();
        dialog->accept();
    });
    QTest::mouseClick(window.control<QPushButton>("buSertShow"), Qt::LeftButton);
    EXPECT_TRUE(viewer.done());
    EXPECT_TRUE(subject.contains(QStringLiteral("Подписант Второй"))) << subject.toStdString();
    EXPECT_EQ(owner, window.get());
    EXPECT_TRUE(dialogs.shown().isEmpty());

    // A container that is gone: the provider's error, and no viewer.
    QDir(store.containerPath(QStringLiteral("beta"))).removeRecursively();
    QTest::mouseClick(window.control<QPushButton>("buSertShow"), Qt::LeftButton);
    const QList<ScriptedDialogs::Shown> errors = dialogs.shown(Kind::Error);
    ASSERT_EQ(errors.size(), 1);
    EXPECT_TRUE(errors[0].text.startsWith(QStringLiteral("CryptAcquireContext\n")))
        << errors[0].text.toStdString();
}

TEST(WindowState, ClosedMaximisedReopensMaximisedOnTheSameTab)
{
    ScriptedDialogs dialogs;
    QByteArray stored;
    {
        TestWindow window(TestWindowSetup().dialogs(dialogs).prepare(
            WithFile(QStringLiteral("zelvan.pro"), "Left=10\r\nTop=20\r\nWidth=600\r\nHeight=400\r\n")));
        window->setWindowState(Qt::WindowMaximized);
        window.control<QTabWidget>("pcMain")->setCurrentWidget(window.control<QWidget>("tsGISGKXCharges"));
        const QString path = window.session().windowStateFile();
        window.destroy();
        stored = FileBytes(path);
    }
    EXPECT_EQ(stored, QByteArray("WindowState=Maximized\r\nActivePage=GISGKXCharges\r\n"));
    TestWindow again(
        TestWindowSetup().dialogs(dialogs).prepare(WithFile(QStringLiteral("zelvan.pro"), stored)));
    EXPECT_TRUE(again->isMaximized());
    EXPECT_EQ(Page(again), QStringLiteral("tsGISGKXCharges"));
    EXPECT_TRUE(dialogs.shown().isEmpty());
}

TEST(WindowState, BoundsAndDataTabsComeBack)
{
    ScriptedDialogs dialogs;
    const struct {
        const char* page;
        QByteArray activePageLine; // what is stored for it
        const char* reopened;      // where the next start opens
    } cases[] = {
        {"tsGISGMPPayment", "", "tsGISGMPPayment"},
        {"tsGISGMPCharges", "ActivePage=GISGMPCharges\r\n", "tsGISGMPCharges"},
        {"tsGISGKXPayment", "ActivePage=GISGKXPayment\r\n", "tsGISGKXPayment"},
        {"tsGISGKXCharges", "ActivePage=GISGKXCharges\r\n", "tsGISGKXCharges"},
        {"tsSettings", "", "tsGISGMPPayment"},
        {"tsInfo", "", "tsGISGMPPayment"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.page);
        QByteArray stored;
        {
            TestWindow window(TestWindowSetup().dialogs(dialogs));
            window->setWindowState(Qt::WindowNoState);
            window->move(30, 40);
            window->resize(700, 500);
            window.control<QTabWidget>("pcMain")->setCurrentWidget(
                window.control<QWidget>(QLatin1String(c.page)));
            const QString path = window.session().windowStateFile();
            window.destroy();
            stored = FileBytes(path);
        }
        EXPECT_EQ(stored, QByteArray("Left=30\r\nTop=40\r\nWidth=700\r\nHeight=500\r\n") + c.activePageLine);
        TestWindow again(
            TestWindowSetup().dialogs(dialogs).prepare(WithFile(QStringLiteral("zelvan.pro"), stored)));
        EXPECT_FALSE(again->isMaximized());
        EXPECT_EQ(again->pos(), QPoint(30, 40));
        EXPECT_EQ(again->size(), QSize(700, 500));
        EXPECT_EQ(Page(again), QLatin1String(c.reopened));
    }
    EXPECT_TRUE(dialogs.shown().isEmpty());
}

TEST(WindowState, UnusableValuesLeaveTheWindowAsTheFormMadeIt)
{
    ScriptedDialogs dialogs;
    const QByteArray files[] = {
        "Left=abc\r\nTop=40\r\nWidth=700\r\nHeight=500\r\nActivePage=GISGKXCharges\r\n",
        "Left=30\r\nTop=40\r\nWidth=7x0\r\nHeight=500\r\nActivePage=GISGMPCharges\r\n",
        "Left=30\r\nTop=40\r\nWidth=700\r\nActivePage=GISGMPCharges\r\n",
        // Only the exact word maximises.
        "WindowState=maximized\r\nActivePage=GISGMPCharges\r\n",
    };
    for (const QByteArray& file : files) {
        SCOPED_TRACE(file.toStdString());
        TestWindow window(
            TestWindowSetup().dialogs(dialogs).prepare(WithFile(QStringLiteral("zelvan.pro"), file)));
        EXPECT_FALSE(window->isMaximized());
        EXPECT_EQ(window->size(), QSize(571, 463));
        EXPECT_EQ(Page(window), QStringLiteral("tsGISGKXPayment"));
    }
    {
        // Good bounds with an unknown tab name open the GIS GMP payment tab.
        TestWindow window(TestWindowSetup().dialogs(dialogs).prepare(WithFile(
            QStringLiteral("zelvan.pro"), "left=30\nTOP=40\nWidth=700\nHeight=500\nActivePage=Settings\n")));
        EXPECT_EQ(window->size(), QSize(700, 500));
        EXPECT_EQ(Page(window), QStringLiteral("tsGISGMPPayment"));
    }
    EXPECT_TRUE(dialogs.shown().isEmpty()) << "an unusable window state is never reported";
}
