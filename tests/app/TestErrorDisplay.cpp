// An error that leaves a handler of the window is shown once, with its own message, under the
// application title; the silent abort shows nothing; the window carries on afterwards.
#include "ScriptedDialogs.h"
#include "TestWindow.h"

#include "app/Handler.h"
#include "foundation/Exceptions.h"

#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include <stdexcept>

namespace {

ZELVAN_DECLARE_EXCEPTION(ETestServiceError, Exception);

using Kind = ScriptedDialogs::Kind;

} // namespace

TEST(ErrorDisplay, ErrorFromAPressedButtonIsShownWithItsMessage)
{
    ScriptedDialogs dialogs;
    TestWindow window(TestWindowSetup().dialogs(dialogs));
    window->show();
    window.control<QTabWidget>("pcMain")->setCurrentIndex(0);
    auto* send = window.control<QPushButton>("buPaymentSend");
    ASSERT_NE(send, nullptr);
    // The button's own operation is replaced by one that fails on purpose.
    QObject::disconnect(send, &QPushButton::clicked, nullptr, nullptr);

    int runs = 0;
    ConnectHandler(send, &QPushButton::clicked, send, [&runs] {
        ++runs;
        if (runs == 1)
            throw ETestServiceError(QStringLiteral("Сервис недоступен.\rПовторите позже"));
        if (runs == 2)
            throw std::runtime_error("connection refused");
        throw Exception(QStringLiteral("Ошибка третьего нажатия"));
    });
    QTest::mouseClick(send, Qt::LeftButton);
    QTest::mouseClick(send, Qt::LeftButton);
    QTest::mouseClick(send, Qt::LeftButton);

    EXPECT_EQ(runs, 3) << "the button keeps working after an error";
    const QList<ScriptedDialogs::Shown> shown = dialogs.shown();
    ASSERT_EQ(shown.size(), 3);
    for (const auto& s : shown) {
        EXPECT_EQ(s.kind, Kind::Error);
        EXPECT_EQ(s.caption, QStringLiteral("test_app"));
    }
    EXPECT_EQ(shown[0].text, QStringLiteral("Сервис недоступен.\rПовторите позже"));
    EXPECT_EQ(shown[1].text, QStringLiteral("connection refused"));
    EXPECT_EQ(shown[2].text, QStringLiteral("Ошибка третьего нажатия"));
}

TEST(ErrorDisplay, SilentAbortShowsNothingAndEndsTheHandler)
{
    ScriptedDialogs dialogs;
    TestWindow window(TestWindowSetup().dialogs(dialogs));
    window->show();
    window.control<QTabWidget>("pcMain")->setCurrentIndex(0);
    auto* open = window.control<QPushButton>("buPaymentOpen");
    QObject::disconnect(open, &QPushButton::clicked, nullptr, nullptr);

    // A handler that asks for a file the way the field-file handlers do; the operator cancels.
    bool loaded = false;
    ConnectHandler(open, &QPushButton::clicked, open, [&loaded, &dialogs] {
        AskOpenFileName(dialogs, QStringLiteral("Pay.txt"), QStringLiteral("Текстовые файлы|*.txt"));
        loaded = true;
    });
    dialogs.answerFile(std::nullopt);
    QTest::mouseClick(open, Qt::LeftButton);

    EXPECT_FALSE(loaded);
    ASSERT_EQ(dialogs.shown().size(), 1) << "only the file dialog, no error box";
    EXPECT_EQ(dialogs.shown()[0].kind, Kind::Open);
    EXPECT_EQ(dialogs.shown()[0].text, QStringLiteral("Pay.txt"));
    EXPECT_EQ(dialogs.shown()[0].caption, QStringLiteral("Текстовые файлы|*.txt"));

    // The same abort thrown straight from a handler is just as silent.
    auto* clear = window.control<QPushButton>("buPaymentClear");
    ConnectHandler(clear, &QPushButton::clicked, clear, [] { throw EAbort(); });
    QTest::mouseClick(clear, Qt::LeftButton);
    EXPECT_EQ(dialogs.shown().size(), 1);
}

TEST(ErrorDisplay, ErrorFromAQueuedHandlerIsShownToo)
{
    ScriptedDialogs dialogs;
    bool ran = false;
    QTimer::singleShot(0, [&ran, &dialogs] {
        RunHandler(dialogs, [&ran] {
            ran = true;
            throw Exception(QStringLiteral("Ошибка в обработчике"));
        });
    });
    QTRY_VERIFY(ran);
    QTRY_COMPARE(dialogs.shown(Kind::Error).size(), 1);
    EXPECT_EQ(dialogs.shown(Kind::Error)[0].text, QStringLiteral("Ошибка в обработчике"));
}

TEST(ErrorDisplay, ShowExceptionNamesEveryKindOfError)
{
    ScriptedDialogs dialogs;
    ShowException(dialogs, std::make_exception_ptr(ETestServiceError(QStringLiteral("первая"))));
    ShowException(dialogs, std::make_exception_ptr(
                               EConvertError(QStringLiteral("'12,50' is not a valid floating point value"))));
    ShowException(dialogs, std::make_exception_ptr(std::logic_error("вторая")));
    ShowException(dialogs, std::make_exception_ptr(42));
    ShowException(dialogs, std::make_exception_ptr(EAbort()));
    ShowException(dialogs, nullptr);

    const auto errors = dialogs.shown(Kind::Error);
    ASSERT_EQ(errors.size(), 4);
    EXPECT_EQ(errors[0].text, QStringLiteral("первая"));
    EXPECT_EQ(errors[1].text, QStringLiteral("'12,50' is not a valid floating point value"));
    EXPECT_EQ(errors[2].text, QStringLiteral("вторая"));
    EXPECT_FALSE(errors[3].text.isEmpty()) << "an error without a message still tells that it happened";
    EXPECT_EQ(dialogs.shown().size(), 4);
}
