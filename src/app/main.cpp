#include "app/Application.h"
#include "app/PasswordDialog.h"
#include "app/fZelvan.h"

int main(int argc, char** argv)
{
    TApplication application(argc, argv);
    // An encrypted container key is unlocked by asking the operator; tests install their own answer.
    InstallPasswordDialog();
    TfmZelvan window;
    window.show();
    return application.exec();
}
