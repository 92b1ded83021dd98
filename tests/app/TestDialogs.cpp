// The dialog helpers: the seam's wrappers (captions, cancel as the silent abort) and the real Qt
// dialogs behind them, answered the way an operator would.
#include "ModalHandler.h"
#include "ScriptedDialogs.h"
#include "support/PrintQt.h"

#include "foundation/Exceptions.h"

#include <QAbstractButton>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

using Kind = ScriptedDialogs::Kind;

const QString TextFilter = QStringLiteral("Текстовые файлы|*.txt");

} // namespace

TEST(Dialogs, CaptionIsTheApplicationTitleUnlessOneIsGiven)
{
    EXPECT_EQ(ApplicationTitle(), QStringLiteral("test_app"));

    ScriptedDialogs dialogs;
    dialogs.answerYesNo(true);
    dialogs.answerYesNo(false);
    ShowWarning(dialogs, QStringLiteral("Начислений не найдено."));
    ShowInfo(dialogs, QStringLiteral("Извещение принято."), QStringLiteral("Плательщик"));
    EXPECT_TRUE(AskYesNo(dialogs, QStringLiteral("Получить результат обработки сейчас?")));
    EXPECT_FALSE(AskYesNo(dialogs, QStringLiteral("Ещё раз?"), QStringLiteral("Вопрос")));

    const auto& shown = dialogs.shown();
    ASSERT_EQ(shown.size(), 4);
    EXPECT_EQ(shown[0].kind, Kind::Warning);
    EXPECT_EQ(shown[0].text, QStringLiteral("Начислений не найдено."));
    EXPECT_EQ(shown[0].caption, QStringLiteral("test_app"));
    EXPECT_EQ(shown[1].kind, Kind::Info);
    EXPECT_EQ(shown[1].caption, QStringLiteral("Плательщик"));
    EXPECT_EQ(shown[2].kind, Kind::Question);
    EXPECT_EQ(shown[2].caption, QStringLiteral("test_app"));
    EXPECT_EQ(shown[3].caption, QStringLiteral("Вопрос"));
}

TEST(Dialogs, FileDialogsReturnTheChoiceAndAbortOnCancel)
{
    ScriptedDialogs dialogs;
    dialogs.answerFile(QStringLiteral("/data/Charge.txt"));
    dialogs.answerFile(std::nullopt);
    dialogs.answerFile(QStringLiteral("/data/Pay123.txt"));
    dialogs.answerFile(std::nullopt);

    EXPECT_EQ(AskOpenFileName(dialogs, QStringLiteral("Charge.txt"), TextFilter),
              QStringLiteral("/data/Charge.txt"));
    EXPECT_THROW(AskOpenFileName(dialogs, QStringLiteral("Charge.txt"), TextFilter), EAbort);
    EXPECT_EQ(AskSaveFileName(dialogs, QStringLiteral("Pay123.txt"), TextFilter),
              QStringLiteral("/data/Pay123.txt"));
    EXPECT_THROW(AskSaveFileName(dialogs, QStringLiteral("Pay123.txt"), TextFilter), EAbort);

    const auto& shown = dialogs.shown();
    ASSERT_EQ(shown.size(), 4);
    EXPECT_EQ(shown[0].kind, Kind::Open);
    EXPECT_EQ(shown[2].kind, Kind::Save);
    EXPECT_EQ(shown[2].text, QStringLiteral("Pay123.txt"));
    EXPECT_EQ(shown[2].caption, TextFilter);
}

TEST(Dialogs, FiltersAreTranslatedForQt)
{
    EXPECT_EQ(QtFileFilter(TextFilter), QStringLiteral("Текстовые файлы (*.txt)"));
    EXPECT_EQ(QtFileFilter(QStringLiteral("XML|*.xml;*.XML|Все файлы|*")),
              QStringLiteral("XML (*.xml *.XML);;Все файлы (*)"));
    EXPECT_EQ(QtFileFilter(QStringLiteral("Text (*.txt)")), QStringLiteral("Text (*.txt)"));
}

// The real message boxes, answered by pressing their buttons.
TEST(Dialogs, RealMessageBoxesShowIconTextCaptionAndButtons)
{
    struct Seen {
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QString title, text;
        QMessageBox::StandardButtons buttons;
        bool modalForAll = false;
        QStringList buttonTexts;
        int textWidth = 0;   // the width the text is laid out in
        int longestLine = 0; // the width its longest line needs
    };
    auto answer = [](Seen& seen, QMessageBox::StandardButton press) {
        return [&seen, press](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            ASSERT_NE(box, nullptr);
            seen = {box->icon(),
                    box->windowTitle(),
                    box->text(),
                    box->standardButtons(),
                    box->windowModality() == Qt::ApplicationModal,
                    {},
                    0,
                    0};
            for (QAbstractButton* button : box->buttons())
                seen.buttonTexts << button->text().remove(u'&');
            seen.buttonTexts.sort();
            if (const auto* label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"))) {
                seen.textWidth = label->contentsRect().width();
                for (const QString& line : box->text().split(u'\n'))
                    seen.longestLine = qMax(seen.longestLine, label->fontMetrics().horizontalAdvance(line));
            }
            box->button(press)->click();
        };
    };

    Seen seen;
    {
        ModalHandler handler(answer(seen, QMessageBox::Yes));
        EXPECT_TRUE(AskYesNo(ScreenDialogs(),
                             QStringLiteral("Сообщение отправлено успешно.\nИдентификатор пакета: 7")));
        EXPECT_TRUE(handler.done());
    }
    EXPECT_EQ(seen.icon, QMessageBox::Question);
    EXPECT_EQ(seen.title, QStringLiteral("test_app"));
    EXPECT_EQ(seen.text, QStringLiteral("Сообщение отправлено успешно.\nИдентификатор пакета: 7"));
    EXPECT_EQ(seen.buttons, QMessageBox::Yes | QMessageBox::No);
    EXPECT_TRUE(seen.modalForAll);
    // Qt's own button texts are Russian like the question.
    EXPECT_EQ(seen.buttonTexts, (QStringList{QStringLiteral("Да"), QStringLiteral("Нет")}));
    {
        // The question after a send keeps the identifier line in one piece.
        const QString line = QStringLiteral("Идентификатор сообщения: 0f8fad5b-d9cb-469f-a165-70867728950e");
        ModalHandler handler(answer(seen, QMessageBox::No));
        EXPECT_FALSE(
            AskYesNo(ScreenDialogs(), QStringLiteral("Сообщение отправлено успешно.\n") + line +
                                          QStringLiteral("\n\nПолучить результат обработки сейчас?")));
        EXPECT_GT(seen.longestLine, 0);
        EXPECT_GE(seen.textWidth, seen.longestLine);
    }
    {
        ModalHandler handler(answer(seen, QMessageBox::Ok));
        ShowWarning(ScreenDialogs(), QStringLiteral("Обработка пакета еще не завершена."));
    }
    EXPECT_EQ(seen.icon, QMessageBox::Warning);
    EXPECT_EQ(seen.buttons, QMessageBox::Ok);
    {
        ModalHandler handler(answer(seen, QMessageBox::Ok));
        ShowInfo(ScreenDialogs(), QStringLiteral("Информация о платеже принята."));
    }
    EXPECT_EQ(seen.icon, QMessageBox::Information);
    EXPECT_EQ(seen.buttons, QMessageBox::Ok);
    {
        // Texts are shown as they are, never taken for markup.
        ModalHandler handler(answer(seen, QMessageBox::Ok));
        ShowException(ScreenDialogs(),
                      std::make_exception_ptr(Exception(QStringLiteral("<b>ошибка</b> & <i>фрагмент</i>"))));
        EXPECT_TRUE(handler.done());
    }
    EXPECT_EQ(seen.icon, QMessageBox::Critical);
    EXPECT_EQ(seen.title, QStringLiteral("test_app"));
    EXPECT_EQ(seen.text, QStringLiteral("<b>ошибка</b> & <i>фрагмент</i>"));
    EXPECT_EQ(seen.buttons, QMessageBox::Ok);
    {
        // Some messages break their lines with a carriage return alone, which Qt would run together.
        ModalHandler handler(answer(seen, QMessageBox::Ok));
        ShowException(
            ScreenDialogs(),
            std::make_exception_ptr(Exception(QStringLiteral(
                "Ошибка получения списка контейнеров закрытых ключей.\rCryptAcquireContext\r\nнет"))));
    }
    EXPECT_EQ(
        seen.text,
        QStringLiteral("Ошибка получения списка контейнеров закрытых ключей.\nCryptAcquireContext\nнет"));
}

TEST(Dialogs, RealSaveDialogAsksBeforeReplacingAFile)
{
    QTemporaryDir folder;
    const QString existing = folder.filePath(QStringLiteral("Charge.txt"));
    {
        QFile file(existing);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("SearchType=1\r\n");
    }

    QString question;
    QStringList filters;
    bool stillOpen = false;
    auto chooseExisting = [&](bool replace) {
        return [&, replace](QWidget* modal) {
            auto* dialog = qobject_cast<QFileDialog*>(modal);
            ASSERT_NE(dialog, nullptr);
            filters = dialog->nameFilters();
            EXPECT_EQ(dialog->acceptMode(), QFileDialog::AcceptSave);
            dialog->selectFile(existing);
            ModalHandler confirm(
                [&, replace](QWidget* box) {
                    auto* message = qobject_cast<QMessageBox*>(box);
                    ASSERT_NE(message, nullptr);
                    question = message->text();
                    message->button(replace ? QMessageBox::Yes : QMessageBox::No)->click();
                },
                dialog);
            static_cast<QDialog*>(dialog)->accept(); // as the operator pressing Save or Open
            EXPECT_TRUE(confirm.done()) << "no question before replacing";
            stillOpen = dialog->isVisible();
            if (stillOpen)
                dialog->reject();
        };
    };

    {
        ModalHandler handler(chooseExisting(false));
        EXPECT_THROW(AskSaveFileName(ScreenDialogs(), QStringLiteral("Charge.txt"), TextFilter), EAbort);
        EXPECT_TRUE(handler.done());
    }
    EXPECT_EQ(filters, QStringList{QStringLiteral("Текстовые файлы (*.txt)")});
    EXPECT_TRUE(question.contains(QStringLiteral("Charge.txt"))) << question.toStdString();
    EXPECT_TRUE(stillOpen) << "answering No keeps the dialog open";

    question.clear();
    {
        ModalHandler handler(chooseExisting(true));
        EXPECT_EQ(AskSaveFileName(ScreenDialogs(), QStringLiteral("Charge.txt"), TextFilter), existing);
    }
    EXPECT_FALSE(question.isEmpty());
    EXPECT_FALSE(stillOpen);
}

TEST(Dialogs, RealOpenDialogTakesOnlyExistingFiles)
{
    QTemporaryDir folder;
    const QString existing = folder.filePath(QStringLiteral("Pay.txt"));
    {
        QFile file(existing);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    QFileDialog::FileMode mode = QFileDialog::AnyFile;
    {
        ModalHandler handler([&](QWidget* modal) {
            auto* dialog = qobject_cast<QFileDialog*>(modal);
            ASSERT_NE(dialog, nullptr);
            mode = dialog->fileMode();
            dialog->selectFile(existing);
            static_cast<QDialog*>(dialog)->accept(); // as the operator pressing Save or Open
        });
        EXPECT_EQ(AskOpenFileName(ScreenDialogs(), QStringLiteral("Pay.txt"), TextFilter), existing);
    }
    EXPECT_EQ(mode, QFileDialog::ExistingFile);
    {
        ModalHandler handler([](QWidget* modal) { qobject_cast<QDialog*>(modal)->reject(); });
        EXPECT_THROW(AskOpenFileName(ScreenDialogs(), QStringLiteral("Pay.txt"), TextFilter), EAbort);
    }
}
