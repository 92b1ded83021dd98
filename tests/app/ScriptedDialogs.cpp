#include "ScriptedDialogs.h"

#include <gtest/gtest.h>

ScriptedDialogs::ScriptedDialogs() = default;

ScriptedDialogs::~ScriptedDialogs()
{
    EXPECT_TRUE(FFiles.empty()) << "scripted file answers left unused";
    EXPECT_TRUE(FAnswers.empty()) << "scripted Yes/No answers left unused";
}

QList<ScriptedDialogs::Shown> ScriptedDialogs::shown(Kind kind) const
{
    QList<Shown> result;
    for (const Shown& s : FShown)
        if (s.kind == kind)
            result << s;
    return result;
}

std::optional<QString> ScriptedDialogs::nextFile(Kind kind, const QString& fileName, const QString& filter)
{
    FShown << Shown{kind, fileName, filter};
    if (FFiles.empty()) {
        ADD_FAILURE() << "unscripted file dialog for " << fileName.toStdString();
        return std::nullopt;
    }
    const bool cancelled = !FFiles.front().has_value();
    const QString path = FFiles.front().value_or(QString());
    FFiles.pop_front();
    if (cancelled)
        return std::nullopt;
    return path;
}

std::optional<QString> ScriptedDialogs::askOpenFileName(const QString& fileName, const QString& filter)
{
    return nextFile(Kind::Open, fileName, filter);
}

std::optional<QString> ScriptedDialogs::askSaveFileName(const QString& fileName, const QString& filter)
{
    return nextFile(Kind::Save, fileName, filter);
}

void ScriptedDialogs::showWarning(const QString& text, const QString& caption)
{
    FShown << Shown{Kind::Warning, text, caption};
}

void ScriptedDialogs::showInfo(const QString& text, const QString& caption)
{
    FShown << Shown{Kind::Info, text, caption};
}

bool ScriptedDialogs::askYesNo(const QString& text, const QString& caption, bool defaultNo)
{
    FShown << Shown{Kind::Question, text, caption, defaultNo};
    if (FAnswers.empty()) {
        ADD_FAILURE() << "unscripted question: " << text.toStdString();
        return false;
    }
    const bool answer = FAnswers.front();
    FAnswers.pop_front();
    return answer;
}

void ScriptedDialogs::showError(const QString& text, const QString& caption)
{
    FShown << Shown{Kind::Error, text, caption};
}
