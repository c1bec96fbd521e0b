// SPDX-License-Identifier: MIT
// The net globals: set by the net reader, read by the writers and listings,
// never freed before the process ends.
#include "TypePN.h"

extern "C" {
int NbPlaces = 0;
int NbTrans = 0;
int NbArcs = 0;
int** Pre = nullptr;
int** Post = nullptr;
t_EnsI Marking = nullptr;
t_Place* Pl = nullptr;
t_Trans* Tr = nullptr;
int* NumObj = nullptr;
char** NameObj = nullptr;
char* NomModele = nullptr;
int Trace = 0;
}
