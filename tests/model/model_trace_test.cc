// SPDX-License-Identifier: MIT
// Model construction and its KORA trace, observed on real standard output and
// standard error in standard-output mode: every command of the model and every
// TR command of a trace is one line of standard output.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "common/pipe_channel.h"
#include "common/qxtest.h"
#include "kora/send_state.h"
#include "model/model_internal.h"
#include "quarnel/QXCLSend.h"
#include "quarnel/QXEnv.h"
#include "quarnel/QXErrors.h"
#include "quarnel/QXModel.h"

namespace {

// Model records live until the process ends and the interface has no way to
// release them; the tests keep every record they make reachable, as a tool
// does, so that the leak checker reports only memory that is really lost.
template <typename T>
T Keep(T record) {
  static std::vector<const void*>* kept = new std::vector<const void*>;
  kept->push_back(record);
  return record;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

std::string Counted(const char* name, const std::string& text) {
  return std::string(name) + "(" + std::to_string(text.size()) + ":" + text + ")";
}

// Process-wide state the tests change, restored afterwards.
class ModelTraceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    savedLevel_ = g_qxModelTraceLevel;
    savedStdOut_ = g_qxStdOut;
    savedStandalone_ = g_qxStandalone;
    savedErrno_ = g_qxErrno;
    g_qxModelTraceLevel = kQx_Model_NoTrace;
    g_qxStdOut = kQx_True;
    g_qxStandalone = kQx_False;
  }
  void TearDown() override {
    g_qxModelTraceLevel = savedLevel_;
    g_qxStdOut = savedStdOut_;
    g_qxStandalone = savedStandalone_;
    g_qxErrno = savedErrno_;
  }

  // Runs body at the given level and returns what reached standard output and
  // standard error, line by line.
  struct Seen {
    std::vector<std::string> out;
    std::vector<std::string> err;
  };
  Seen RunAt(QxModelTraceLevel level, const std::function<void()>& body) {
    g_qxModelTraceLevel = level;
    qxtest::Output output = qxtest::CaptureOutput(body);
    g_qxModelTraceLevel = kQx_Model_NoTrace;
    return {Lines(output.out), Lines(output.err)};
  }

  // An attribute built at level 0, so that building it leaves no trace.
  PQxAttribute Attribute(const char* name, const char* value) {
    PQxAttribute attribute = Keep(QxNewStringAttribute(model_, "place", name, value));
    EXPECT_NE(attribute, nullptr);
    return attribute;
  }
  QxAttributeList ListOf(std::initializer_list<PQxAttribute> attributes) {
    QxAttributeList list = Keep(QxNewAttributeList());
    for (PQxAttribute attribute : attributes) QxAppendAttribute(list, attribute);
    return list;
  }

  PQxModel model_ = Keep(QxNewModel("TAV-Net"));

 private:
  QxModelTraceLevel savedLevel_ = 0;
  QxBoolean savedStdOut_ = kQx_False;
  QxBoolean savedStandalone_ = kQx_False;
  QxSLong savedErrno_ = 0;
};

// One observable effect of a call: a KORA command, or a trace text (seen as a
// standard-error line and a TR command). It happens only when every bit of
// `needs` is in the trace level.
struct Event {
  QxModelTraceLevel needs;
  bool isTrace;
  std::string text;
};
Event Routine(std::string text) { return {kQx_Model_TraceRoutineCalls, true, std::move(text)}; }
Event Error(std::string text) { return {kQx_Model_TraceError, true, std::move(text)}; }
Event Command(std::string text) { return {kQx_Model_TraceKORA, false, std::move(text)}; }
// A refusal met while sending an attribute: needs both the KORA and error bits.
Event AttributeError(std::string text) {
  return {kQx_Model_TraceKORA | kQx_Model_TraceError, true, std::move(text)};
}
// A refusal of the output operation: traced whenever the command is composed.
Event OutputRefusal(std::string text) { return {kQx_Model_TraceKORA, true, std::move(text)}; }

struct CallCase {
  const char* what;
  // Makes the call; returns whether it gave a record (non-null result).
  std::function<bool()> call;
  std::vector<Event> events;
  QxSLong err;          // error code after the call
  QxSLong errWithKora;  // error code when the level has the KORA bit
};

// Every call of the table at every one of the eight trace levels: the commands
// and traces it produces, in order, and the error code it leaves.
TEST_F(ModelTraceTest, CallsSendExactlyTheirCommandsAndTracesAtEveryLevel) {
  PQxAttribute p1 = Attribute("name", "p1");
  PQxAttribute twoLines = Attribute("name", "a\nb");
  PQxAttribute tooLong = Attribute("name", std::string(300, 'x').c_str());
  static QxAttribute valueless = {const_cast<char*>("name"), nullptr};
  QxAttributeList withP1 = ListOf({p1});
  QxAttributeList withTwoLines = ListOf({twoLines});
  QxAttributeList withTooLong = ListOf({tooLong});
  QxAttributeList withValueless = ListOf({&valueless, p1});
  QxAttributeList valuelessThenTwoLines = ListOf({&valueless, twoLines});
  PQxNode five = Keep(QxNewNode("place", 5, nullptr));
  ASSERT_NE(five, nullptr);

  // Object numbers are written signed: the host reads them that way.
  const QxObjectID big = (QxObjectID{1} << 63) + 5;  // above the signed 64-bit range
  const QxObjectID allBits = ~QxObjectID{0};
  PQxNode allBitsNode = Keep(QxNewNode("place", allBits, nullptr));
  ASSERT_NE(allBitsNode, nullptr);
  QxAttributeList withAllBitsLines = ListOf({twoLines});
  const std::string longKind(190, 'k');
  const std::string bigText = "-9223372036854775803";
  const std::string longEdge =
      "CA(190:" + longKind + "," + bigText + "," + bigText + "," + bigText + ")";
  const std::vector<CallCase> cases = {
      {"node with a one-line attribute",
       [&] { return Keep(QxNewNode("place", 5, withP1)) != nullptr; },
       {Routine("Qx NewNode: place"), Command("CN(5:place,5)"), Command("CT(4:name,5,2:p1)")},
       kQx_NoErr, kQx_NoErr},
      {"node with a two-line attribute",
       [&] { return Keep(QxNewNode("place", 5, withTwoLines)) != nullptr; },
       {Routine("Qx NewNode: place"), Command("CN(5:place,5)"),
        Command("CM(4:name,5,1,-3,1:a)"), Command("CM(4:name,5,2,3,1:b)")},
       kQx_NoErr, kQx_NoErr},
      {"edge without attributes",
       [&] { return Keep(QxNewEdge("arc", 9, 5, 6, nullptr)) != nullptr; },
       {Routine("Qx NewEdge: arc"), Command("CA(3:arc,9,5,6)")}, kQx_NoErr, kQx_NoErr},
      {"edge with an empty list",
       [&] { return Keep(QxNewEdge("arc", 9, 5, 6, Keep(QxNewAttributeList()))) != nullptr; },
       {Routine("Qx NewEdge: arc"), Command("CA(3:arc,9,5,6)")}, kQx_NoErr, kQx_NoErr},
      {"numbers above the signed range",
       [&] { return Keep(QxNewEdge("arc", big, big, 2, nullptr)) != nullptr; },
       {Routine("Qx NewEdge: arc"),
        Command("CA(3:arc,-9223372036854775803,-9223372036854775803,2)")},
       kQx_NoErr, kQx_NoErr},
      {"edge numbers with all bits set",
       [&] { return Keep(QxNewEdge("arc", allBits, allBits, allBits, nullptr)) != nullptr; },
       {Routine("Qx NewEdge: arc"), Command("CA(3:arc,-1,-1,-1)")}, kQx_NoErr, kQx_NoErr},
      {"node number with all bits set, with its attributes",
       [&] { return Keep(QxNewNode("place", allBits, withP1)) != nullptr; },
       {Routine("Qx NewNode: place"), Command("CN(5:place,-1)"), Command("CT(4:name,-1,2:p1)")},
       kQx_NoErr, kQx_NoErr},
      {"pieces of an attribute of object number all bits set",
       [&] { return Keep(QxNewNode("place", allBits, withAllBitsLines)) != nullptr; },
       {Routine("Qx NewNode: place"), Command("CN(5:place,-1)"),
        Command("CM(4:name,-1,1,-3,1:a)"), Command("CM(4:name,-1,2,3,1:b)")},
       kQx_NoErr, kQx_NoErr},
      {"position of node number all bits set",
       [&] {
         QxSetNodeCenter(allBitsNode, 3, -4);
         return true;
       },
       {Routine("Qx SetNodeCenter for-1 at 3,-4"), Command("pO(-1,3,-4)")}, kQx_NoErr,
       kQx_NoErr},
      {"edge number 1",
       [&] { return Keep(QxNewEdge("arc", 1, 5, 6, withP1)) != nullptr; },
       {Routine("Qx NewEdge: arc"), Error("Qx NewEdge:qxEdgeID<=1")}, kQx_ParamErr,
       kQx_ParamErr},
      {"edge from node 0",
       [&] { return Keep(QxNewEdge("arc", 9, 0, 6, nullptr)) != nullptr; },
       {Routine("Qx NewEdge: arc"), Error("Qx NewEdge:qxBeginNodeID<=1")}, kQx_ParamErr,
       kQx_ParamErr},
      {"edge to node 1",
       [&] { return Keep(QxNewEdge("arc", 9, 5, 1, nullptr)) != nullptr; },
       {Routine("Qx NewEdge: arc"), Error("Qx NewEdge:qxEndNodeID<=1")}, kQx_ParamErr,
       kQx_ParamErr},
      {"edge without name",
       [&] { return Keep(QxNewEdge(nullptr, 9, 5, 6, nullptr)) != nullptr; },
       {Routine("Qx NewEdge: (null)"), Error("Qx NewEdge:pEdgeInternalName==NULL")},
       kQx_ParamErr, kQx_ParamErr},
      {"edge with an empty name",
       [&] { return Keep(QxNewEdge("", 9, 5, 6, nullptr)) != nullptr; },
       {Routine("Qx NewEdge: "), Error("Qx NewEdge:strlen(pEdgeInternalName)==0")},
       kQx_ParamErr, kQx_ParamErr},
      {"node without name",
       [&] { return Keep(QxNewNode(nullptr, 5, withP1)) != nullptr; },
       {Routine("Qx NewNode: (null)"), Error("Qx NewNode:pNodeInternalName==NULL")},
       kQx_ParamErr, kQx_ParamErr},
      {"node with an empty name",
       [&] { return Keep(QxNewNode("", 5, withP1)) != nullptr; },
       {Routine("Qx NewNode: "), Error("Qx NewNode:strlen(pNodeInternalName)==0")},
       kQx_ParamErr, kQx_ParamErr},
      {"node number 0",
       [&] { return Keep(QxNewNode("place", 0, withP1)) != nullptr; },
       {Routine("Qx NewNode: place"), Error("Qx NewNode:qxNodeID<=1")}, kQx_ParamErr,
       kQx_ParamErr},
      {"one-line value whose CT would pass the command limit: sent as pieces",
       [&] { return Keep(QxNewNode("place", 5, withTooLong)) != nullptr; },
       {Routine("Qx NewNode: place"), Command("CN(5:place,5)"),
        Command("CM(4:name,5,1,-300,223:" + std::string(223, 'x') + ")"),
        Command("CM(4:name,5,2,3,77:" + std::string(77, 'x') + ")")},
       kQx_NoErr, kQx_NoErr},
      {"edge command over the limit: refused by the output, edge kept",
       [&] { return Keep(QxNewEdge(longKind.c_str(), big, big, big, nullptr)) != nullptr; },
       {Routine("Qx NewEdge: " + longKind),
        OutputRefusal("Qx ClSendChannelKora:KORA command too large (" +
                      std::to_string(longEdge.size()) + " bytes):" + longEdge.substr(0, 50) +
                      "...")},
       kQx_NoErr, kQx_ParamErr},
      {"attribute without value: refused, the next one still sent",
       [&] { return Keep(QxNewNode("place", 5, withValueless)) != nullptr; },
       {Routine("Qx NewNode: place"), Command("CN(5:place,5)"),
        AttributeError("Qx TraceKoraAttribute:pQxAttribute->pAttributeValue==NULL"),
        Command("CT(4:name,5,2:p1)")},
       kQx_NoErr, kQx_ParamErr},
      {"refusal kept when a later attribute goes as pieces",
       [&] { return Keep(QxNewNode("place", 5, valuelessThenTwoLines)) != nullptr; },
       {Routine("Qx NewNode: place"), Command("CN(5:place,5)"),
        AttributeError("Qx TraceKoraAttribute:pQxAttribute->pAttributeValue==NULL"),
        Command("CM(4:name,5,1,-3,1:a)"), Command("CM(4:name,5,2,3,1:b)")},
       kQx_NoErr, kQx_ParamErr},
      {"node position",
       [&] {
         QxSetNodeCenter(five, -10, 20);
         return true;
       },
       {Routine("Qx SetNodeCenter for5 at -10,20"), Command("pO(5,-10,20)")}, kQx_NoErr,
       kQx_NoErr},
      {"position of no node",
       [&] {
         QxSetNodeCenter(nullptr, 1, 2);
         return false;
       },
       {Error("Qx SetNodeCenter:pQxNode==NULL")}, kQx_ParamErr, kQx_ParamErr},
      {"model",
       [&] { return Keep(QxNewModel("TAV-Net")) != nullptr; },
       {Routine("Qx NewModel: TAV-Net")}, kQx_NoErr, kQx_NoErr},
      {"model without formalism",
       [&] { return Keep(QxNewModel(nullptr)) != nullptr; },
       {Routine("Qx NewModel: (null)"), Error("Qx NewModel:pFormalismInternalName==NULL")},
       kQx_ParamErr, kQx_ParamErr},
      {"model with an empty formalism",
       [&] { return Keep(QxNewModel("")) != nullptr; },
       {Routine("Qx NewModel: "), Error("Qx NewModel:strlen(pFormalismInternalName)==0")},
       kQx_ParamErr, kQx_ParamErr},
      {"string attribute",
       [&] {
         return Keep(QxNewStringAttribute(model_, "place", "name", "p1")) != nullptr;
       },
       {Routine("Qx NewStringAttribute: name, value ='p1'")}, kQx_NoErr, kQx_NoErr},
      {"string attribute of no model",
       [&] {
         return Keep(QxNewStringAttribute(nullptr, "place", "name", "p1")) != nullptr;
       },
       {Error("Qx NewStringAttribute:pQxModel==NULL")}, kQx_ParamErr, kQx_ParamErr},
      {"string attribute without name",
       [&] {
         return Keep(QxNewStringAttribute(model_, "place", nullptr, "v")) != nullptr;
       },
       {Routine("Qx NewStringAttribute: (null), value ='v'"),
        Error("Qx NewStringAttribute:pAttributeInternalName==NULL")},
       kQx_ParamErr, kQx_ParamErr},
      {"string attribute without value",
       [&] {
         return Keep(QxNewStringAttribute(model_, "place", "name", nullptr)) != nullptr;
       },
       {Routine("Qx NewStringAttribute: name, value ='(null)'"),
        Error("Qx NewStringAttribute:pAttributeValue==NULL")},
       kQx_ParamErr, kQx_ParamErr},
      {"append to no attribute",
       [&] { return QxAppendStringAttribute(nullptr, "x") != nullptr; },
       {Error("Qx AppendStringAttribute:pQxAttribute==NULL")}, kQx_ParamErr, kQx_ParamErr},
      {"append no text",
       [&] { return QxAppendStringAttribute(p1, nullptr) != nullptr; },
       {Error("Qx AppendStringAttribute:pAttributeValue==NULL")}, kQx_ParamErr, kQx_ParamErr},
      {"append to an attribute without value",
       [&] { return QxAppendStringAttribute(&valueless, "x") != nullptr; },
       {Error("Qx AppendStringAttribute:pQxAttribute->pAttributeValue==NULL")}, kQx_ParamErr,
       kQx_ParamErr},
      {"attribute to no list",
       [&] {
         QxAppendAttribute(nullptr, p1);
         return false;
       },
       {Error("Qx AppendAttribute:qxAttributeList==NULL")}, kQx_ParamErr, kQx_ParamErr},
      {"no attribute to a list",
       [&] {
         QxAppendAttribute(withP1, nullptr);
         return false;
       },
       {Error("Qx AppendAttribute:pQxAttribute==NULL")}, kQx_ParamErr, kQx_ParamErr},
      {"node appended to a model",
       [&] {
         QxAppendNodeToModel(model_, five);
         return true;
       },
       {Routine("Qx AppendNodeToModel")}, kQx_NoErr, kQx_NoErr},
      {"node appended to no model",
       [&] {
         QxAppendNodeToModel(nullptr, five);
         return false;
       },
       {Routine("Qx AppendNodeToModel"), Error("Qx AppendNodeToModel:pQxModel==NULL")},
       kQx_ParamErr, kQx_ParamErr},
      {"no node appended",
       [&] {
         QxAppendNodeToModel(model_, nullptr);
         return false;
       },
       {Routine("Qx AppendNodeToModel"), Error("Qx AppendNodeToModel:pQxNode==NULL")},
       kQx_ParamErr, kQx_ParamErr},
      {"edge appended to no model",
       [&] {
         QxAppendEdgeToModel(nullptr, nullptr);
         return false;
       },
       {Routine("Qx AppendEdgeToModel"), Error("Qx AppendEdgeToModel:pQxModel==NULL")},
       kQx_ParamErr, kQx_ParamErr},
      {"no edge appended",
       [&] {
         QxAppendEdgeToModel(model_, nullptr);
         return false;
       },
       {Routine("Qx AppendEdgeToModel"), Error("Qx AppendEdgeToModel:pQxEdge==NULL")},
       kQx_ParamErr, kQx_ParamErr},
  };

  for (const CallCase& c : cases) {
    const bool refused = c.err != kQx_NoErr;
    for (QxModelTraceLevel level = 0; level <= 7; ++level) {
      SCOPED_TRACE(std::string(c.what) + " at level " + std::to_string(level));
      std::vector<std::string> out;
      std::vector<std::string> err;
      for (const Event& e : c.events) {
        if ((level & e.needs) != e.needs) continue;
        out.push_back(e.isTrace ? Counted("TR", e.text) : e.text);
        if (e.isTrace) err.push_back("#(Varnost):" + e.text);
      }
      bool gaveRecord = false;
      g_qxErrno = kQx_NoErr;
      Seen seen = RunAt(level, [&] { gaveRecord = c.call(); });
      EXPECT_EQ(seen.out, out);
      EXPECT_EQ(seen.err, err);
      EXPECT_EQ(QxErrno(), (level & kQx_Model_TraceKORA) ? c.errWithKora : c.err);
      EXPECT_EQ(gaveRecord, !refused);
    }
  }
}

// The records give back what the tool gave, names and values as copies of
// their own, whatever the trace level.
TEST_F(ModelTraceTest, RecordsHoldWhatTheToolGave) {
  std::string formalism = "TAV-Net";
  std::string value = "p1";
  PQxModel model = Keep(QxNewModel(formalism.c_str()));
  PQxAttribute named = Keep(QxNewStringAttribute(model, "place", "name", value.c_str()));
  PQxAttribute empty = Keep(QxNewStringAttribute(model, "place", "domain", ""));
  formalism.assign("changed");
  value.assign("changed");
  ASSERT_NE(model, nullptr);
  EXPECT_STREQ(model->pFormalismInternalName, "TAV-Net");
  ASSERT_NE(named, nullptr);
  EXPECT_STREQ(named->pAttributeInternalName, "name");
  EXPECT_STREQ(named->pAttributeValue, "p1");
  ASSERT_NE(empty, nullptr);
  EXPECT_STREQ(empty->pAttributeValue, "");

  QxAttributeList nodeList = ListOf({named});
  QxAttributeList edgeList = ListOf({empty});
  PQxNode node = Keep(QxNewNode("place", 7, nodeList));
  PQxEdge edge = Keep(QxNewEdge("arc", 9, 7, 8, edgeList));
  ASSERT_NE(node, nullptr);
  EXPECT_EQ(node->qxNodeID, 7u);
  EXPECT_EQ(node->qxAttributeList, nodeList);
  ASSERT_NE(edge, nullptr);
  EXPECT_EQ(edge->qxEdgeID, 9u);
  EXPECT_EQ(edge->qxAttributeList, edgeList);
}

// Among the commands that announce one object, the first failure names the
// error: here the host channel breaking under the CN command, not the
// attribute refused after it.
TEST_F(ModelTraceTest, FirstFailureOfAnObjectIsTheOneReported) {
  static QxAttribute valueless = {const_cast<char*>("name"), nullptr};
  QxAttributeList list = ListOf({&valueless, Attribute("name", "p1")});
  qxtest::PipeChannel host;
  host.ClosePeerRead();
  QxClSetCurrentChannelIO(nullptr, &host.out);
  g_qxErrno = kQx_NoErr;
  RunAt(kQx_Model_TraceKORA | kQx_Model_TraceError,
        [&] { Keep(QxNewNode("place", 5, list)); });
  qx::kora::ResetCurrentChannelIO();
  EXPECT_EQ(host.out.qxChannelState, kQx_ChannelBroken);
  EXPECT_EQ(QxErrno(), kQx_BrokenCom);
}

TEST_F(ModelTraceTest, SettingTheLevelTracesOnlyWhenRoutineCallsWereAlreadyTraced) {
  qxtest::Output first =
      qxtest::CaptureOutput([] { QxSetModelTrace(kQx_Model_TraceRoutineCalls); });
  EXPECT_EQ(first.out, "");
  EXPECT_EQ(first.err, "");
  EXPECT_EQ(g_qxModelTraceLevel, kQx_Model_TraceRoutineCalls);

  qxtest::Output second = qxtest::CaptureOutput([] { QxSetModelTrace(kQx_Model_TraceKORA); });
  EXPECT_EQ(second.out, "TR(15:QxSetModelTrace)\n");
  EXPECT_EQ(second.err, "#(Varnost):QxSetModelTrace\n");
  EXPECT_EQ(g_qxModelTraceLevel, kQx_Model_TraceKORA);
}

// The value lengths around the bound that decides between one CT command and
// numbered CM pieces: the CT command's own 255 bytes. Pieces are never longer
// than a command and join up to the value.
TEST_F(ModelTraceTest, LongValuesAndNamesAreNeverSentCut) {
  const std::string head = "CT(4:name,5,";  // 12 bytes: a CT of 255 holds 238
  struct {
    size_t valueLength;
    bool single;
  } const cases[] = {{238, true}, {239, false}, {1009, false}, {1010, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.valueLength);
    const std::string value(c.valueLength, 'v');
    QxAttributeList list = ListOf({Attribute("name", value.c_str())});
    g_qxErrno = kQx_NoErr;
    Seen seen = RunAt(kQx_Model_TraceKORA, [&] { Keep(QxNewNode("place", 5, list)); });
    ASSERT_GE(seen.out.size(), 2u);
    EXPECT_EQ(seen.out[0], "CN(5:place,5)");
    EXPECT_TRUE(seen.err.empty());
    EXPECT_EQ(QxErrno(), kQx_NoErr);
    if (c.single) {
      const std::string command = head + "238:" + value + ")";
      ASSERT_EQ(command.size(), 255u);
      EXPECT_EQ(seen.out, (std::vector<std::string>{"CN(5:place,5)", command}));
    } else {
      EXPECT_EQ(seen.out[1].rfind("CM(4:name,5,1,-" + std::to_string(c.valueLength) + ",", 0), 0u)
          << seen.out[1];
      std::string joined;
      for (size_t i = 1; i < seen.out.size(); ++i) {
        const std::string& piece = seen.out[i];
        EXPECT_LE(piece.size(), 255u);
        joined += piece.substr(piece.find(':', piece.find(',', 12) + 1) + 1);
        joined.pop_back();
      }
      EXPECT_EQ(joined, value);
    }
  }

  // A name so long that no head leaves room for a piece: the attribute is
  // refused whole, with the head's real length, and the node is still made.
  const std::string name(2000, 'n');
  QxAttributeList list = ListOf({Attribute(name.c_str(), "p1")});
  PQxNode node = nullptr;
  Seen seen = RunAt(kQx_Model_TraceKORA, [&] { node = Keep(QxNewNode("place", 5, list)); });
  EXPECT_NE(node, nullptr);
  EXPECT_EQ(seen.out.size(), 2u);  // CN and the TR of the refusal
  EXPECT_EQ(seen.err, std::vector<std::string>{
                          "#(Varnost):Qx ClSendText:koraPrefix too long (2011 bytes)"});
  EXPECT_EQ(QxErrno(), kQx_ParamErr);
}

TEST_F(ModelTraceTest, AppendingToAValueExtendsItAndLeavesItOnFailure) {
  PQxAttribute attribute = Attribute("guard", "x>0");
  g_qxErrno = kQx_MemFullErr;  // not reset by a successful append
  EXPECT_EQ(QxAppendStringAttribute(attribute, " and y<2"), attribute);
  EXPECT_STREQ(attribute->pAttributeValue, "x>0 and y<2");
  EXPECT_EQ(QxErrno(), kQx_MemFullErr);
  // The appended text may be the attribute's own value.
  EXPECT_EQ(QxAppendStringAttribute(attribute, attribute->pAttributeValue), attribute);
  EXPECT_STREQ(attribute->pAttributeValue, "x>0 and y<2x>0 and y<2");
  EXPECT_EQ(QxAppendStringAttribute(attribute, nullptr), nullptr);
  EXPECT_STREQ(attribute->pAttributeValue, "x>0 and y<2x>0 and y<2");
  EXPECT_STREQ(attribute->pAttributeInternalName, "guard");
}

// A small net built as a tool builds it, traced to standard output: the host
// sees every object, attribute and position in the order of the calls, and an
// attribute added to a list after its node was made is never sent.
TEST_F(ModelTraceTest, SmallNetIsTracedCommandByCommand) {
  Seen seen = RunAt(kQx_Model_TraceKORA, [&] {
    PQxModel net = Keep(QxNewModel("TAV-Net"));
    auto node = [&](const char* kind, QxObjectID id,
                    std::initializer_list<std::pair<const char*, const char*>> attributes) {
      QxAttributeList list = Keep(QxNewAttributeList());
      for (const auto& [name, value] : attributes) {
        QxAppendAttribute(list, Keep(QxNewStringAttribute(net, kind, name, value)));
      }
      PQxNode made = Keep(QxNewNode(kind, id, list));
      QxAppendNodeToModel(net, made);
      return std::make_pair(made, list);
    };
    auto [p1, p1List] = node("place", 2, {{"name", "p1"}, {"marking", "<x>"}});
    auto [p2, p2List] = node("place", 3, {{"name", "p2"}});
    auto [t1, t1List] = node("transition", 4, {{"name", "t1"}, {"guard", "x>0\nand y<2"}});
    QxAppendAttribute(p1List, Keep(QxNewStringAttribute(net, "place", "domain", "late")));
    QxSetNodeCenter(p1, 100, 40);
    QxSetNodeCenter(t1, 160, -40);
    QxSetNodeCenter(p2, 220, 40);
    QxAttributeList arcList = Keep(QxNewAttributeList());
    QxAppendAttribute(arcList, Keep(QxNewStringAttribute(net, "arc", "valuation", "<x>")));
    QxAppendEdgeToModel(net, Keep(QxNewEdge("arc", 5, 2, 4, arcList)));
    QxAppendEdgeToModel(net, Keep(QxNewEdge("arc", 6, 4, 3, nullptr)));
    (void)t1List;
    (void)p2List;
  });
  const std::vector<std::string> expected = {
      "CN(5:place,2)",
      "CT(4:name,2,2:p1)",
      "CT(7:marking,2,3:<x>)",
      "CN(5:place,3)",
      "CT(4:name,3,2:p2)",
      "CN(10:transition,4)",
      "CT(4:name,4,2:t1)",
      "CM(5:guard,4,1,-11,3:x>0)",
      "CM(5:guard,4,2,3,7:and y<2)",
      "pO(2,100,40)",
      "pO(4,160,-40)",
      "pO(3,220,40)",
      "CA(3:arc,5,2,4)",
      "CT(9:valuation,5,3:<x>)",
      "CA(3:arc,6,4,3)",
  };
  EXPECT_EQ(seen.out, expected);
  EXPECT_TRUE(seen.err.empty());
}

}  // namespace
