#include "smev/SignatureVerifier.h"
#include "support/PrintQt.h"
#include "support/TestKeys.h"

#include "app/CertificateViewer.h"
#include "app/PasswordDialog.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <thread>

namespace {

// Runs `action`; the first modal dialog of type T that it opens is handed to `answer`, which has to
// close it. Any other modal dialog is rejected so that a fault cannot hang the test.
template <typename T>
int AnswerDialogs(const std::function<void(T&)>& answer, const std::function<void()>& action)
{
    int answered = 0;
    QTimer poll;
    poll.setInterval(10);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal)
            return;
        if (auto* dialog = qobject_cast<T*>(modal)) {
            ++answered;
            answer(*dialog);
        } else if (auto* other = qobject_cast<QDialog*>(modal)) {
            other->reject();
        }
    });
    poll.start();
    action();
    return answered;
}

QString EditText(QWidget& dialog, const char* name)
{
    auto* edit = dialog.findChild<QLineEdit*>(QLatin1String(name));
    return edit ? edit->text() : QStringLiteral("<no %1>").arg(QLatin1String(name));
}

void Press(QWidget& dialog, const char* name)
{
    auto* button = dialog.findChild<QPushButton*>(QLatin1String(name));
    ASSERT_NE(button, nullptr) << name;
    button->click();
}

} // namespace

TEST(CertificateViewer, ShowsTheContainerCertificateWithoutAskingForThePassword)
{
    TestKeyStore store;
    TestKeyOptions options;
    options.commonName = QStringLiteral("Петров Пётр");
    options.organization = QStringLiteral("АО Банк");
    options.password = QStringLiteral("secret");
    options.serialNumber = 0xC0FFEE;
    options.days = 10;
    const QByteArray der = store.addContainer(QStringLiteral("signer"), options);
    CountingPasswords passwords(std::nullopt);

    QWidget window;
    window.show();
    QString subject, issuer, serial, from, to, algorithm, parameters, thumbprint, text;
    QWidget* shownOver = nullptr;
    const int shown = AnswerDialogs<TfmCertificate>(
        [&](TfmCertificate& dialog) {
            shownOver = dialog.parentWidget();
            subject = EditText(dialog, "edSubject");
            issuer = EditText(dialog, "edIssuer");
            serial = EditText(dialog, "edSerialNumber");
            from = EditText(dialog, "edValidFrom");
            to = EditText(dialog, "edValidTo");
            algorithm = EditText(dialog, "edPublicKeyAlgorithm");
            parameters = EditText(dialog, "edParameterSet");
            thumbprint = EditText(dialog, "edThumbprint");
            if (auto* memo = dialog.findChild<QPlainTextEdit*>(QStringLiteral("mmText")))
                text = memo->toPlainText();
            Press(dialog, "buClose");
        },
        [&] {
            ShowContainerCertificate(store.store(passwords.provider()), QStringLiteral("signer"), &window);
        });

    EXPECT_EQ(shown, 1);
    EXPECT_EQ(shownOver, &window);
    EXPECT_EQ(passwords.questions(), 0);
    EXPECT_EQ(subject, QStringLiteral("CN = Петров Пётр, O = АО Банк"));
    EXPECT_EQ(issuer, subject);
    EXPECT_EQ(serial, QStringLiteral("C0FFEE"));
    const QDateTime today = QDateTime::currentDateTime();
    const auto date = [](const QDateTime& moment) { return moment.toString(QStringLiteral("dd.MM.yyyy")); };
    EXPECT_TRUE(from.startsWith(date(today)) || from.startsWith(date(today.addSecs(-5))))
        << from.toStdString();
    EXPECT_TRUE(to.startsWith(date(today.addDays(10))) || to.startsWith(date(today.addSecs(-5).addDays(10))))
        << to.toStdString();
    EXPECT_EQ(algorithm, QStringLiteral("GOST R 34.10-2001"));
    EXPECT_TRUE(parameters.contains(QStringLiteral("CryptoPro-A"))) << parameters.toStdString();
    EXPECT_EQ(thumbprint.toLatin1(),
              QCryptographicHash::hash(der, QCryptographicHash::Sha1).toHex().toUpper());
    EXPECT_TRUE(text.contains(QStringLiteral("Петров Пётр")));
    EXPECT_TRUE(text.contains(QStringLiteral("Serial Number")));
}

TEST(PasswordDialog, AsksForThePasswordWhenSigningAndCancelAborts)
{
    TestKeyStore store;
    TestKeyOptions options;
    options.password = QStringLiteral("пароль");
    const QByteArray der = store.addContainer(QStringLiteral("Ключ банка"), options);
    const KeyStore keys = store.store(ContainerPasswordDialog());
    const QByteArray data = "<SignedInfo/>";

    QString prompt;
    bool hidden = false;
    QByteArray signature;
    int asked = AnswerDialogs<TfmPassword>(
        [&](TfmPassword& dialog) {
            prompt = dialog.findChild<QLabel*>(QStringLiteral("laPassword"))->text();
            auto* edit = dialog.findChild<QLineEdit*>(QStringLiteral("edPassword"));
            hidden = edit->echoMode() == QLineEdit::Password;
            edit->setText(options.password);
            Press(dialog, "buOK");
        },
        [&] { ContainerCrypt(keys, QStringLiteral("Ключ банка"), &data, nullptr, &signature, nullptr); });
    EXPECT_EQ(asked, 1);
    EXPECT_TRUE(prompt.contains(QStringLiteral("Ключ банка"))) << prompt.toStdString();
    EXPECT_TRUE(hidden);
    EXPECT_TRUE(VerifyGostSignature(der, data, signature));

    signature = "untouched";
    bool aborted = false;
    asked = AnswerDialogs<TfmPassword>([&](TfmPassword& dialog) { Press(dialog, "buCancel"); },
                                       [&] {
                                           try {
                                               ContainerCrypt(keys, QStringLiteral("Ключ банка"), &data,
                                                              nullptr, &signature, nullptr);
                                           } catch (const EAbort&) {
                                               aborted = true;
                                           }
                                       });
    EXPECT_EQ(asked, 1);
    EXPECT_TRUE(aborted);
    EXPECT_EQ(signature, "untouched");

    // A key opened by an operation on its own thread: the dialog is still shown on the window's.
    signature.clear();
    asked = AnswerDialogs<TfmPassword>(
        [&](TfmPassword& dialog) {
            EXPECT_EQ(dialog.thread(), QApplication::instance()->thread());
            dialog.findChild<QLineEdit*>(QStringLiteral("edPassword"))->setText(options.password);
            Press(dialog, "buOK");
        },
        [&] {
            std::atomic<bool> done{false};
            std::thread operation([&] {
                ContainerCrypt(keys, QStringLiteral("Ключ банка"), &data, nullptr, &signature, nullptr);
                done = true;
            });
            EXPECT_TRUE(QTest::qWaitFor([&] { return done.load(); }, 30000));
            operation.join();
        });
    EXPECT_EQ(asked, 1);
    EXPECT_TRUE(VerifyGostSignature(der, data, signature));
}
