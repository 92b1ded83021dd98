#include "app/Application.h"
#include "app/fZelvan.h"

int main(int argc, char** argv)
{
    TApplication application(argc, argv);
    TfmZelvan window;
    window.show();
    return application.exec();
}
