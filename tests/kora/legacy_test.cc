// SPDX-License-Identifier: MIT
// The legacy French-named interface: the exact command of every sender, the
// calls that only trace, question states and the numbered error messages.
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "kora/services_fixture.h"
#include "quarnel/QXCLSend.h"
#include "quarnel/QXErrors.h"

namespace {

using namespace qxtest;  // the fixture and its helpers

class LegacyTest : public ServicesTest {};

TEST_F(LegacyTest, EverySenderComposesItsExactCommand) {
  struct Case {
    std::string expected;
    std::function<void()> send;
  } const cases[] = {
      {"SU(5)", [] { QxOldEnvoiDetruitObjet(5); }},
      {"AD(3)", [] { QxOldEnvoiAfficherDialogue(3); }},
      {"CE(3,1,2,1:T,1:H,1:X,0,1,)",
       [] { QxOldEnvoiCreerDialogue(3, 1, 2, "T", "H", "X", 0, 1, nullptr); }},
      {"CE(3,1,2,1:T,1:H,1:X,0,1,1:v)",
       [] { QxOldEnvoiCreerDialogue(3, 1, 2, "T", "H", "X", 0, 1, "v"); }},
      {"DC()", [] { QxOldEnvoiDebutDialogue(); }},
      {"DS(4,8:a, (b):c)", [] { QxOldEnvoiDialogueSuite(4, "a, (b):c"); }},
      {"FF()", [] { QxOldEnvoiFinDialogue(); }},
      {"DG(2)", [] { QxOldEnvoiDetruireDialogue(2); }},
      {"DE()", [] { QxOldEnvoiDebutEnsemble(); }},
      {"DE(4:name,2)", [] { QxOldEnvoiDebutEnsemble2("name", 2); }},
      {"FE()", [] { QxOldEnvoiFinEnsemble(); }},
      {"RO(-9)", [] { QxOldEnvoiResultatObjet(-9); }},
      {"CR(1)", [] { QxOldEnvoiCategorieResultat(1); }},
      {"ME(7)", [] { QxOldEnvoiMiseEnEvidence(7); }},
      {"MT(7,4:name,,)", [] { QxOldEnvoiMiseEnEvidenceAttribut(7, "name", 2, 5); }},
      {"XA(3,4:name,0:)", [] { QxOldEnvoiModifAttribut(3, "name", ""); }},
      {"SO(,5:place)", [] { QxOldEnvoiSupprimerTypeObjet(nullptr, "place"); }},
      {"SO(6:domain,5:place)", [] { QxOldEnvoiSupprimerTypeObjet("domain", "place"); }},
      {"RT(5:hello)", [] { QxOldEnvoiReponseTexte("hello"); }},
      {"RT(42:Qx OldEnvoiReponseNumTexte not implemented)", [] { QxOldEnvoiReponseNumTexte(8); }},
      {"TR(2:hi)", [] { QxOldEnvoiReponseTrace("hi"); }},
      {"XX(1:a)", [] { QxOldEnvoiKORA("1:a", "XX"); }},
      // Callers' strings are values, never formats.
      {"DS(1,6:%s%n%d)", [] { QxOldEnvoiDialogueSuite(1, "%s%n%d"); }},
      {"%s(%n)", [] { QxOldEnvoiKORA("%n", "%s"); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.expected);
    g_qxErrno = kQx_NoErr;
    const Sent sent = Run(c.send);
    EXPECT_EQ(sent.commands, Commands{c.expected});
    EXPECT_EQ(sent.err, "");
    EXPECT_EQ(QxErrno(), kQx_NoErr);
  }
}

TEST_F(LegacyTest, LongTextsAreAnnouncedThenSentWhole) {
  const std::string tooLarge =
      "Qx ClSendChannelKora:KORA command too large (256 bytes):RT(248:" + std::string(43, 't') +
      "...";
  struct Case {
    size_t length;
    bool trace;  // texts of the trace response, else of the text response
    Commands expected;
    QxSLong error;
  } const cases[] = {
      {200, false, {"RT(200:" + std::string(200, 't') + ")"}, kQx_NoErr},
      {220, false,
       {TrCommand("Qx OldEnvoiReponseTexte:bufferTexte too large (have to be cut !)"),
        "RT(220:" + std::string(220, 't') + ")"},
       kQx_NoErr},
      {248, false,
       {TrCommand("Qx OldEnvoiReponseTexte:bufferTexte too large (have to be cut !)"),
        TrCommand(tooLarge)},
       kQx_ParamErr},
      {220, true,
       {TrCommand("Qx OldEnvoiReponseTrace:bufferTexte too large (have to be cut !)"),
        "TR(220:" + std::string(220, 't') + ")"},
       kQx_NoErr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.length);
    g_qxErrno = kQx_NoErr;
    const std::string text(c.length, 't');
    const Sent sent = Run([&] {
      if (c.trace) {
        QxOldEnvoiReponseTrace(text.c_str());
      } else {
        QxOldEnvoiReponseTexte(text.c_str());
      }
    });
    EXPECT_EQ(sent.commands, c.expected);
    EXPECT_EQ(QxErrno(), c.error);
  }
}

TEST_F(LegacyTest, NullArgumentsAreTracedAndNothingIsSent) {
  struct Case {
    const char* trace;
    QxSLong error;
    std::function<void()> send;
  } const cases[] = {
      {"Qx OldEnvoiDebutEnsemble2:setName==NULL", kQx_ParamErr,
       [] { QxOldEnvoiDebutEnsemble2(nullptr, 1); }},
      {"Qx OldEnvoiKORA:koraParam==NULL", kQx_ParamErr, [] { QxOldEnvoiKORA(nullptr, "XX"); }},
      {"Qx OldEnvoiKORA:koraCommand==NULL", kQx_ParamErr, [] { QxOldEnvoiKORA("1:a", nullptr); }},
      {"Qx OldEnvoiReponseTrace:bufferTexte==NULL", kQx_NoErr,
       [] { QxOldEnvoiReponseTrace(nullptr); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.trace);
    g_qxErrno = kQx_NoErr;
    const Sent sent = Run(c.send);
    EXPECT_EQ(sent.commands, Commands{TrCommand(c.trace)});
    EXPECT_EQ(sent.err, TraceLine(c.trace));
    EXPECT_EQ(QxErrno(), c.error);
  }
}

TEST_F(LegacyTest, CallsDoneByTheLibraryOnlyTrace) {
  char fileName[] = "unchanged";
  struct Case {
    const char* trace;  // "" when silent
    int expected;
    std::function<int()> call;
  } const cases[] = {
      {"", kQx_False, [] { return static_cast<int>(QxOldInitKORA_a(0, nullptr)); }},
      {"", 0, [] { return QxOldFinInitKORA_a(), 0; }},
      {"Qx OldArretKORA_a called", 0, [] { return QxOldArretKORA_a(), 0; }},
      {"Qx OldEnvoiFinReponse:Please do not use FR ! Quarnel will do it for you.", 0,
       [] { return QxOldEnvoiFinReponse(), 0; }},
      {"Qx OldEnvoiFinReponse2:Please do not use FR ! Quarnel will do it for you.", 0,
       [] { return QxOldEnvoiFinReponse2(3), 0; }},
      {"Qx OldEnvoiDebutReponse for question q%s, Please do not use DR ! Quarnel will do it for "
       "you.",
       0, [] { return QxOldEnvoiDebutReponse("q%s"), 0; }},
      {"Qx OldCheminExecApplication: will give correct path", -1,
       [&] { return QxOldCheminExecApplication(fileName); }},
      {"Qx OldDejaTravaille:to be done", 0, [] { return QxOldDejaTravaille(); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.trace);
    int result = 0;
    const Sent sent = Run([&] { result = c.call(); });
    EXPECT_EQ(result, c.expected);
    EXPECT_EQ(sent.commands, *c.trace ? Commands{TrCommand(c.trace)} : Commands{});
    EXPECT_EQ(sent.err, *c.trace ? TraceLine(c.trace) : "");
  }
  EXPECT_STREQ(fileName, "");
}

TEST_F(LegacyTest, QuestionStates) {
  struct Case {
    long state;
    const char* message;
    std::string command;
  } const cases[] = {
      {ETAT_Inactif, "m", TrCommand("Qx OldEnvoiEtatQuestion:ETAT_Inactif")},
      {ETAT_Actif, "x", "STT_MSG(1:x)"},
      {ETAT_Actif, nullptr, TrCommand("Qx OldEnvoiEtatQuestion: ETAT_Actif et message vide ?")},
      {ETAT_Termine, "m", TrCommand("Qx OldEnvoiEtatQuestion: ETAT_Termine sur question q")},
      {ETAT_Stop, "m", TrCommand("Qx OldEnvoiEtatQuestion: ETAT_Stop sur question q")},
      {ETAT_Back, "m", TrCommand("Qx OldEnvoiEtatQuestion: ETAT_Back sur question q")},
      {ETAT_Errone, "m", TrCommand("Qx OldEnvoiEtatQuestion: ETAT_Errone sur question q")},
      {ETAT_Enable, "m", TrCommand("Qx OldEnvoiEtatQuestion: ETAT_Enable sur question q")},
      {ETAT_Disable, "m", TrCommand("Qx OldEnvoiEtatQuestion: ETAT_Disable sur question q")},
      {ETAT_Incremental, "m",
       TrCommand("Qx OldEnvoiEtatQuestion: ETAT_Incremental sur question q")},
      {10, "m", TrCommand("Qx OldEnvoiEtatQuestion: unknown state 10")},
      {0, "m", TrCommand("Qx OldEnvoiEtatQuestion: unknown state 0")},
      {-4, "m", TrCommand("Qx OldEnvoiEtatQuestion: unknown state -4")},
  };
  g_qxStartedByQuarnel = kQx_True;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.state);
    EXPECT_EQ(Run([&] { QxOldEnvoiEtatQuestion("q", c.state, c.message); }).commands,
              Commands{c.command});
  }
}

// Error-message files in the main workspace of a real model workspace.
class ErrorMessageTest : public LegacyTest {
 protected:
  void SetUp() override {
    LegacyTest::SetUp();
    ReadWorkspace();
  }
  // The lookup's result and text; the buffer starts as "unchanged".
  std::pair<int, std::string> Lookup(int numero) {
    std::string buffer(kQx_ErrorMessageCapacity, '\0');
    buffer.replace(0, 10, "unchanged");
    int result = 0;
    Run([&] { result = QxOldGetMessErreur(numero, buffer.data()); });
    return {result, buffer.c_str()};
  }
};

TEST_F(ErrorMessageTest, RecordsAreFoundByNumber) {
  qxtest::WriteFile(MainFile("erreur.0"),
                    "1 first\n\n  2\t  second message\nnot a number 4 x\n-5 negative\n3 third");
  const std::string empty = "Qx OldGetMessErreur:Message 4 is empty in file " + MainFile("erreur.0");
  struct Case {
    int numero;
    std::pair<int, std::string> expected;
  } const cases[] = {
      {1, {0, "first"}},  {2, {0, "second message"}}, {3, {0, "third"}},
      {-5, {0, "negative"}}, {4, {0, empty}},
  };
  g_qxErrno = kQx_TimeOut;  // the lookup leaves the error code alone
  for (const Case& c : cases) {
    SCOPED_TRACE(c.numero);
    EXPECT_EQ(Lookup(c.numero), c.expected);
  }
  EXPECT_EQ(QxErrno(), kQx_TimeOut);
}

TEST_F(ErrorMessageTest, LanguageFallsBackToEnglish) {
  struct Case {
    const char* name;
    short language;
    bool english;
    bool french;
    std::pair<int, std::string> expected;
  } const cases[] = {
      {"French file", 1, true, true, {0, "erreur"}},
      {"only the English file", 1, true, false, {0, "error"}},
      {"English asked", 0, true, true, {0, "error"}},
      {"no file", 1, false, false, {-1, "unchanged"}},
      {"only the French file, English asked", 0, false, true, {-1, "unchanged"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove(MainFile("erreur.0"));
    std::filesystem::remove(MainFile("erreur.1"));
    if (c.english) qxtest::WriteFile(MainFile("erreur.0"), "7 error\n");
    if (c.french) qxtest::WriteFile(MainFile("erreur.1"), "7 erreur\n");
    g_qxLanguage = c.language;
    EXPECT_EQ(Lookup(7), c.expected);
  }
}

TEST_F(ErrorMessageTest, LongLinesAreCutAtTheDocumentedCapacity) {
  const std::string text(kQx_ErrorMessageCapacity + 100, 'e');
  qxtest::WriteFile(MainFile("erreur.0"), "1 " + text + "\n2 next\n");
  EXPECT_EQ(Lookup(1), std::make_pair(0, text.substr(0, kQx_ErrorMessageCapacity - 1)));
  EXPECT_EQ(Lookup(2), std::make_pair(0, std::string("next")));
}

// Without a main workspace the file path is composed from the empty path
// (after the path operation's own trace): the message files are those of the
// current directory, with the same fallback to English.
TEST_F(ErrorMessageTest, NoMainWorkspaceReadsTheCurrentDirectory) {
  struct Case {
    const char* name;
    short language;
    int numero;
    const char* english;  // content of erreur.0 (null: no file)
    const char* french;   // content of erreur.1
    std::pair<int, std::string> expected;
  } const cases[] = {
      {"English", 0, 1, "1 first\n", nullptr, {0, "first"}},
      {"French, only the English file", 1, 1, "1 first\n", nullptr, {0, "first"}},
      {"French", 1, 1, "1 first\n", "1 premier\n", {0, "premier"}},
      {"absent number", 0, 2, "1 first\n", nullptr,
       {0, "Qx OldGetMessErreur:Message 2 is empty in file erreur.0"}},
      {"no file", 1, 1, nullptr, nullptr, {-1, "unchanged"}},
  };
  qx::ResetBasicInfoForTesting();
  const std::string here = dir_.File("here");
  std::filesystem::create_directories(here);
  ScopedChdir in(here);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove("erreur.0");
    std::filesystem::remove("erreur.1");
    if (c.english != nullptr) WriteFile("erreur.0", c.english);
    if (c.french != nullptr) WriteFile("erreur.1", c.french);
    g_qxLanguage = c.language;
    g_qxErrno = kQx_NoErr;
    std::pair<int, std::string> seen;
    std::string buffer(kQx_ErrorMessageCapacity, '\0');
    buffer.replace(0, 10, "unchanged");
    const Sent sent = Run([&] { seen.first = QxOldGetMessErreur(c.numero, buffer.data()); });
    seen.second = buffer.c_str();
    EXPECT_EQ(seen, c.expected);
    EXPECT_EQ(sent.commands, Commands{TrCommand("Qx EnvGetMainWorkspacePath:g_qxMainWorkSpace==NULL")});
    EXPECT_EQ(QxErrno(), kQx_NoErr);
  }
}

// A message file may be a FIFO whose writer comes late: the lookup waits for
// it and reads what it sends.
TEST_F(ErrorMessageTest, FifoIsReadFromItsWriter) {
  const pid_t writer = FeedFifoLater(MainFile("erreur.0"), "2 two\n3 three\n");
  std::pair<int, std::string> seen;
  {
    Watchdog watchdog(10);
    seen = Lookup(3);
  }
  const ChildResult fed = WaitChild(writer, 5000);
  EXPECT_TRUE(fed.exited && fed.status == 0) << "the writer never met a reader";
  EXPECT_EQ(seen, std::make_pair(0, std::string("three")));
}

}  // namespace
