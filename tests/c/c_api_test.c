// SPDX-License-Identifier: MIT
/* The library's list, memory helpers, frame I/O over a real FIFO and the
 * KORA command reader, used from C. Exits 0 when every check holds; prints the failed check otherwise. An
 * alarm bounds every blocking call. */
#define _POSIX_C_SOURCE 200809L

#include <fcntl.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

/* Every public header, compiled as C. */
#include "quarnel/Quarnel.h"

const char kQx_KitName[] = "MIRLAN";
const char kQx_ToolName[] = "Varnost";
const char kQx_ToolVersion[] = "1.1";
const char kQx_ToolCopyright[] = "(c) Quarnel C test";

static int failures = 0;

#define CHECK(cond)                                                          \
  do {                                                                       \
    if (!(cond)) {                                                           \
      fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond); \
      ++failures;                                                            \
    }                                                                        \
  } while (0)

static void* Sum(void* d, void* p1, void* p2, void* p3, void* p4, void* p5, void* p6, void* p7,
                 void* p8) {
  (void)p2, (void)p3, (void)p4, (void)p5, (void)p6, (void)p7, (void)p8;
  *(int*)p1 += *(int*)d;
  return *(int*)d == 30 ? d : NULL; /* stops at 30 */
}

static void TestList(void) {
  int values[4] = {10, 20, 30, 40};
  int sum = 0;
  int i;
  CListe list = CreerListe();
  for (i = 0; i < 4; ++i) AjoutFinListe(list, &values[i]);
  CHECK(NbElementListe(list) == 4);
  CHECK(ParcoursListe(list, Sum, &sum, NULL, NULL, NULL, NULL, NULL, NULL, NULL) == &values[2]);
  CHECK(sum == 60);
  CHECK(ListePremier(list) == &values[0]);
  CHECK(ParcoursSuivant() == &values[1]);
  CHECK(AjoutUFinListe(list, &values[1]) == 0);
  EnleveElement(list, &values[0]);
  CHECK(ListePremier(list) == &values[1]);
  ViderListe(list);
  DetruireListe(list);
}

static void TestMemory(void) {
  char text[] = "abcdef";
  unsigned char* block = (unsigned char*)QxCalloc(8);
  Handle h = NewHandle(16);
  int i;
  CHECK(block != NULL);
  for (i = 0; i < 8; ++i) CHECK(block[i] == 0);
  QxFree(block);
  QxFree(NULL);
  CHECK(h != NULL && ((XHandle*)h)->byteCount == 16 && (*h)[15] == 0);
  DisposeHandle(h);
  QxTextTCpy(text + 1, 4, text);
  CHECK(strcmp(text, "aabcdf") == 0);
}

static void TestFrames(void) {
  char dir[] = "/tmp/quarnel-c-XXXXXX";
  char path[64];
  char buf[kQx_MaxMessageLength];
  int r, w;
  int64_t length = 0;
  CHECK(mkdtemp(dir) != NULL);
  snprintf(path, sizeof path, "%s/fifo", dir);
  CHECK(mkfifo(path, 0600) == 0);
  r = open(path, O_RDONLY | O_NONBLOCK);
  w = open(path, O_WRONLY);
  CHECK(r >= 0 && w >= 0);
  QXlectBloq(r);

  CHECK(QX_Write_Sync(w, "abc") == 3);
  CHECK(read(r, &length, sizeof length) == 8 && length == 3);
  CHECK(read(r, buf, 3) == 3 && memcmp(buf, "abc", 3) == 0);

  CHECK(QX_Read_Async(r, buf) == 0);
  CHECK(QX_Write_Sync(w, "hello from C") == 12);
  CHECK(QX_Read_Sync(r, buf) == 12 && memcmp(buf, "hello from C", 12) == 0);
  QXcloseLiaison(w);
  CHECK(QX_Read_Sync(r, buf) == -2);
  CHECK(QX_Read_Sync(r, buf) == -1);
  QXacceptCloseLiaison(r);
  unlink(path);
  rmdir(dir);
}

/* A command as a C tool reads it: the name, an integer and a counted string
 * whose bytes hold a comma and a parenthesis; then a command that breaks. */
static void TestKoraParse(void) {
  static const char text[] = "MARKING(-5,4:a,b),)";
  QxKoraCommand command;
  CHECK(QxParseKora(text, strlen(text), &command) == 0);
  CHECK(command.nameLength == 7 && strncmp(command.name, "MARKING", 7) == 0);
  CHECK(command.argCount == 3);
  CHECK(command.args[0].kind == kQx_KoraInteger && command.args[0].integer == -5);
  CHECK(command.args[1].kind == kQx_KoraString && command.args[1].length == 4 &&
        memcmp(command.args[1].text, "a,b)", 4) == 0);
  CHECK(command.args[2].kind == kQx_KoraEmpty);
  CHECK(QxParseKora("MARKING(5 )", 11, &command) == 10);
  CHECK(QxParseKora("MARKING(5", 9, NULL) == 10);
}

int main(void) {
  alarm(30);
  TestList();
  TestMemory();
  TestFrames();
  TestKoraParse();
  if (failures != 0) {
    fprintf(stderr, "%d check(s) failed\n", failures);
    return 1;
  }
  return 0;
}
