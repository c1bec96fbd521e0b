// SPDX-License-Identifier: MIT
/* The net the converter reads, and the operations that read and write it.
 *
 * InitialisationNet reads a matrix file (and its optional reference file) into
 * the net globals below; the writers and listings read them. The globals are
 * set once per process and never freed. Places are numbered 0..NbPlaces-1 and
 * transitions 0..NbTrans-1 here; the written files number both from 1.
 *
 * Messages are French texts on standard output; file names in them are printed
 * as they stand. Usable from C. */
#ifndef VARNOST_TYPEPN_H
#define VARNOST_TYPEPN_H

#include "EnsI.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Neighbours of a place: TrIn, the transitions with Post[p][t] > 0 (they put
 * tokens into it); TrOut, those with Pre[p][t] > 0 (they take tokens). */
typedef struct {
  t_EnsI TrIn;
  t_EnsI TrOut;
} t_Place;

/* Neighbours of a transition: PlIn, the places with Pre[p][t] > 0; PlOut, the
 * places with Post[p][t] > 0. */
typedef struct {
  t_EnsI PlIn;
  t_EnsI PlOut;
} t_Trans;

extern int NbPlaces;
extern int NbTrans;
/* Entries greater than 0 in Pre and Post together (saturates at INT_MAX). */
extern int NbArcs;
/* Pre[p][t], Post[p][t]: arc weights; 0 or less means no arc. */
extern int** Pre;
extern int** Post;
/* Places whose initial marking is greater than 0. */
extern t_EnsI Marking;
extern t_Place* Pl;
extern t_Trans* Tr;
/* From the reference file, places first then transitions; both null when the
 * net has no (complete) reference file. */
extern int* NumObj;
extern char** NameObj;
/* Copy of the matrix file path; the writers derive their file names from it. */
extern char* NomModele;
/* 1 when the option "-." was given. */
extern int Trace;

/* Reads the net: argv[argc-1] is the matrix file, argv[1..argc-2] options
 * ("-m", "-t", "-."; others ignored); argv[0] is not read. Returns 0 when the
 * net was read, -1 after printing why not (nothing is printed for "-t"). */
int InitialisationNet(int argc, char** argv);

/* Writes FileName + ".ll_net" (PEP low-level net). The file appears only when
 * completely written: it is written to a temporary file in the same directory
 * and renamed into place; a failure leaves any previous file untouched and
 * prints "erreur lors de la creation du fichier pep". An existing file the
 * user may not write is refused the same way; an existing file the user may
 * write, in a directory that refuses the user new files, is rewritten in
 * place. */
void SauvegardePep(char* FileName);
/* SauvegardePep with a result: 0 when the file was written, -1 otherwise. */
int SauvegardePepStatut(const char* FileName);

/* Writes FileName + ".net" (PROD net description), with the same safety as
 * SauvegardePep; failure message "erreur lors de la creation du fichier Prod". */
void SauvegardeProd(char* FileName);
int SauvegardeProdStatut(const char* FileName);

/* Listings on standard output: matrices and marking; neighbours of every
 * transition; object numbers and names. */
void AfficheNet(void);
void AfficheNet2(void);
void AfficheRefObj(void);

#ifdef __cplusplus
}
#endif

#endif
