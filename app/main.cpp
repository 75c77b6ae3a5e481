#include "app/cdhelper.h"

int main(int argc, char **argv)
{
    return CDHelperMain(argc, argv);
}
