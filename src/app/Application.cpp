#include "app/Application.h"

#include "app/Dialogs.h"

#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

std::unique_ptr<QTranslator> InstallQtTranslation()
{
    auto translator = std::make_unique<QTranslator>();
    // The client speaks Russian whatever the desktop's language is.
    if (!translator->load(QLocale(QLocale::Russian, QLocale::Russia), QStringLiteral("qtbase"),
                          QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)) ||
        !QCoreApplication::installTranslator(translator.get()))
        return nullptr;
    return translator;
}

TApplication::TApplication(int& argc, char** argv)
    : QApplication(argc, argv), qtTranslation_(InstallQtTranslation())
{
}

TApplication::~TApplication() = default;
