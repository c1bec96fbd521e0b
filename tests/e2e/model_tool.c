// SPDX-License-Identifier: MIT
/* A tool in C that traces a model through the library, for the host
 * stand-in's --model. The first argument after the marker chooses the model:
 *   net         a small TAV-Net: two places, a transition, two arcs, with
 *               positions, a one-line name of 600 bytes, a value with line
 *               breaks and names that need escaping
 *   values F... one "place" per file F (numbers from 2), its attribute "text"
 *               the file's content
 *   names F...  the same with the attribute "name", which a drawing shows
 *   then-die    the small net, then killed by SIGKILL */
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "quarnel/Quarnel.h"

const char kQx_KitName[] = "MIRLAN";
const char kQx_ToolName[] = "ModelTool";
const char kQx_ToolVersion[] = "1.0";
const char kQx_ToolCopyright[] = "(c) model tool";

static PQxModel g_model;

/* The model interface's records live until the process ends, by design: the
 * tool keeps them reachable, as a tool that uses its model would. */
static void* g_objects[64];
static int g_object_count;

static void* Keep(void* object) {
  if (g_object_count < 64) g_objects[g_object_count++] = object;
  return object;
}

/* A node or edge attribute list of name/value pairs; a null name ends it. */
static QxAttributeList Attributes(const char* const* pairs) {
  QxAttributeList list = QxNewAttributeList();
  for (; pairs[0] != NULL; pairs += 2)
    QxAppendAttribute(list, QxNewStringAttribute(g_model, "", pairs[0], pairs[1]));
  return list;
}

static void TraceNet(void) {
  /* 600 bytes on one line: words of 6 bytes, a blank after each. */
  static char long_name[601];
  int i;
  for (i = 0; i < 100; ++i) memcpy(long_name + 6 * i, i % 2 ? "word, " : "place ", 6);
  long_name[600] = '\0';
  {
    const char* p1[] = {"name", "p1", "domain", long_name, NULL};
    const char* t1[] = {"name", "t1", "guard", "x > 0 and\ny < 2\n", NULL};
    const char* p2[] = {"name", "p\"2\\ \xe9t\xc3\xa9", NULL};
    const char* a5[] = {"valuation", "1", NULL};
    PQxNode node = Keep(QxNewNode("place", 2, Attributes(p1)));
    QxSetNodeCenter(node, 40, 40);
    node = Keep(QxNewNode("transition", 3, Attributes(t1)));
    QxSetNodeCenter(node, -10, 20);
    Keep(QxNewEdge("arc", 5, 2, 3, Attributes(a5)));
    Keep(QxNewNode("place", 4, Attributes(p2)));
    Keep(QxNewEdge("arc", 6, 3, 4, NULL));
  }
}

/* The whole content of a file; exits on failure. */
static char* ReadAll(const char* path) {
  FILE* file = fopen(path, "rb");
  char* text;
  long size;
  if (file == NULL || fseek(file, 0, SEEK_END) != 0 || (size = ftell(file)) < 0) exit(2);
  rewind(file);
  text = malloc((size_t)size + 1);
  if (text == NULL || fread(text, 1, (size_t)size, file) != (size_t)size) exit(2);
  text[size] = '\0';
  fclose(file);
  return text;
}

QxEndStatus QxServiceMain(int argc, char** argv) {
  const char* what = argc > 1 ? argv[1] : "";
  QxSetModelTrace(kQx_Model_TraceError | kQx_Model_TraceKORA);
  g_model = Keep(QxNewModel("TAV-Net"));
  if (strcmp(what, "values") == 0 || strcmp(what, "names") == 0) {
    const char* attribute = strcmp(what, "values") == 0 ? "text" : "name";
    int i;
    for (i = 2; i < argc; ++i) {
      char* text = ReadAll(argv[i]);
      const char* pairs[] = {attribute, text, NULL};
      Keep(QxNewNode("place", i, Attributes(pairs)));
      free(text);
    }
    return kQx_EndNoProblem;
  }
  TraceNet();
  if (strcmp(what, "then-die") == 0) {
    fflush(NULL);
    raise(SIGKILL);
  }
  return kQx_EndNoProblem;
}
