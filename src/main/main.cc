// SPDX-License-Identifier: MIT
// The process entry every tool gets: libquarnel_main.a holds this object
// alone. It lives apart from the library so that a tool linked with the shared
// library still has its main, and a program that defines its own main never
// pulls it in.
#include "quarnel/QXMain.h"

int main(int argc, char** argv) { return QxMain(argc, argv, QxServiceMain); }
