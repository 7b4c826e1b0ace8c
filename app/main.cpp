// app/main.cpp: the program's entry point.
#include "app/Application.h"

int main(int argc, char** argv)
{
    return RunApplication(argc, argv);
}
