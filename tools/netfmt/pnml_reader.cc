// SPDX-License-Identifier: MIT
#include "pnml_reader.h"

#include <errno.h>
#include <expat.h>

#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include "build_pipeline.h"
#include "symmetric/net_reader.h"
#include "symmetric/xml_tree.h"
#include "text_util.h"

namespace netfmt {

namespace {

// Bytes handed to expat at once: few calls, and a buffer that stays small
// beside the net.
constexpr size_t kChunk = size_t{1} << 20;

// A net typed ptnet is recorded as a tree for its first elements, in case it
// turns out to carry symmetric labels (some tools write such nets): then it
// is read as the symmetric net it is. Its symmetric labels come early (every
// place has a sort), so a few elements suffice, and a large place/transition
// net is never held twice.
constexpr size_t kPtNetRecorded = size_t{1} << 14;

// What an open element is to the reader.
enum class Ctx : uint8_t {
  kDocument,
  kPnml,
  kNet,
  kPage,
  kPlace,
  kTransition,
  kArc,
  kReferencePlace,
  kReferenceTransition,
  kName,
  kMarking,
  kInscription,
  kArcType,
  kText,
};

// The names the reader acts on, element or attribute, without a namespace
// prefix; kOther for any other name.
enum class Word : uint8_t {
  kOther,
  kPnml,
  kNet,
  kPage,
  kPlace,
  kTransition,
  kArc,
  kReferencePlace,
  kReferenceTransition,
  kName,
  kInitialMarking,
  kInscription,
  kText,
  kType,
  kHlInitialMarking,
  kHlInscription,
  kCondition,
  kDeclaration,
  kId,
  kSource,
  kTarget,
  kRef,
  kValue,
};

// The part of an element's or attribute's name after its namespace prefix.
std::string_view Local(const char* name) {
  const char* local = name;
  const char* end = name;
  for (; *end != '\0'; ++end) {
    if (*end == ':') local = end + 1;
  }
  return std::string_view(local, static_cast<size_t>(end - local));
}

// One pass over the name, a few comparisons of its local part chosen by its
// first letter: this runs for every element and attribute of the document.
Word WordOf(const char* name) {
  const std::string_view w = Local(name);
  switch (w.empty() ? '\0' : w.front()) {
    case 'a':
      if (w == "arc") return Word::kArc;
      break;
    case 'c':
      if (w == "condition") return Word::kCondition;
      break;
    case 'd':
      if (w == "declaration") return Word::kDeclaration;
      break;
    case 'h':
      if (w == "hlinscription") return Word::kHlInscription;
      if (w == "hlinitialMarking") return Word::kHlInitialMarking;
      break;
    case 'i':
      if (w == "id") return Word::kId;
      if (w == "inscription") return Word::kInscription;
      if (w == "initialMarking") return Word::kInitialMarking;
      break;
    case 'n':
      if (w == "net") return Word::kNet;
      if (w == "name") return Word::kName;
      break;
    case 'p':
      if (w == "place") return Word::kPlace;
      if (w == "page") return Word::kPage;
      if (w == "pnml") return Word::kPnml;
      break;
    case 'r':
      if (w == "ref") return Word::kRef;
      if (w == "referencePlace") return Word::kReferencePlace;
      if (w == "referenceTransition") return Word::kReferenceTransition;
      break;
    case 's':
      if (w == "source") return Word::kSource;
      break;
    case 't':
      if (w == "text") return Word::kText;
      if (w == "target") return Word::kTarget;
      if (w == "transition") return Word::kTransition;
      if (w == "type") return Word::kType;
      break;
    case 'v':
      if (w == "value") return Word::kValue;
      break;
    default:
      break;
  }
  return Word::kOther;
}

// The attributes the reader looks at, found in one pass over them; null
// where absent (the first of a repeated local name is kept).
struct Attributes {
  const char* id = nullptr;
  const char* source = nullptr;
  const char* target = nullptr;
  const char* type = nullptr;
  const char* ref = nullptr;
  const char* value = nullptr;

  explicit Attributes(const char** atts) {
    for (; atts[0] != nullptr; atts += 2) {
      const char** slot = nullptr;
      switch (WordOf(atts[0])) {
        case Word::kId: slot = &id; break;
        case Word::kSource: slot = &source; break;
        case Word::kTarget: slot = &target; break;
        case Word::kType: slot = &type; break;
        case Word::kRef: slot = &ref; break;
        case Word::kValue: slot = &value; break;
        default: break;
      }
      if (slot != nullptr && *slot == nullptr) *slot = atts[1];
    }
  }
};

// The last part of a net type's URI: "ptnet", "symmetricnet", ...
std::string_view TypeName(std::string_view type) {
  const size_t slash = type.rfind('/');
  return slash == std::string_view::npos ? type : type.substr(slash + 1);
}

std::string Quoted(std::string_view text) { return "\"" + std::string(text) + "\""; }

class Reader {
 public:
  Reader(const PnmlOptions& options, symmetric::UnfoldFigures* unfolded) : options_(options), unfolded_(unfolded) {}

  std::optional<Net> Run(const ReadSome& input, Problem* problem) {
    std::unique_ptr<XML_ParserStruct, decltype(&XML_ParserFree)> parser(XML_ParserCreate(nullptr),
                                                                          XML_ParserFree);
    if (!parser) throw std::bad_alloc();
    parser_ = parser.get();
    XML_SetUserData(parser_, this);
    XML_SetElementHandler(parser_, &Reader::OnStart, &Reader::OnEnd);
    XML_SetEntityDeclHandler(parser_, &Reader::OnEntityDecl);
    XML_SetSkippedEntityHandler(parser_, &Reader::OnSkippedEntity);
    XML_SetParamEntityParsing(parser_, XML_PARAM_ENTITY_PARSING_NEVER);
    stack_.reserve(32);
    stack_.push_back(Ctx::kDocument);

    for (;;) {
      void* buf = XML_GetBuffer(parser_, kChunk);
      if (buf == nullptr) throw std::bad_alloc();
      const long n = input(static_cast<char*>(buf), kChunk);
      if (n < 0) return Refuse(Problem{std::string("cannot read: ") + std::strerror(errno), Where{}}, problem);
      if (XML_ParseBuffer(parser_, static_cast<int>(n), n == 0) != XML_STATUS_OK) {
        if (problem_.message.empty()) {
          problem_ = Problem{std::string("not well-formed XML: ") + XML_ErrorString(XML_GetErrorCode(parser_)),
                             Here()};
        }
        return Refuse(std::move(problem_), problem);
      }
      if (n == 0) break;
    }
    return Finish(problem);
  }

 private:
  Where Here() const {
    return Where{XML_GetCurrentLineNumber(parser_), XML_GetCurrentColumnNumber(parser_) + 1};
  }

  void Stop(std::string message, Where where) {
    if (!problem_.message.empty()) return;
    problem_ = Problem{std::move(message), where};
    XML_StopParser(parser_, XML_FALSE);
  }
  // After an Add: stops the parse once the builder has refused something
  // (Refuse then reports it).
  void StopIfRefused() {
    if (builder_.failed()) XML_StopParser(parser_, XML_FALSE);
  }

  // Whether the builder refused something of what was read, which *problem
  // then says; waits for everything recorded to be applied.
  bool BuilderRefused(Problem* problem) {
    if (builder_.Drain()) return false;
    *problem = builder_.problem();
    return true;
  }

  // The reading ends on `own`, unless the builder refused something: that
  // concerns what was read before, so it is the one reported.
  std::nullopt_t Refuse(Problem own, Problem* problem) {
    if (!BuilderRefused(problem)) *problem = std::move(own);
    return std::nullopt;
  }

  std::optional<Net> Finish(Problem* problem) {
    if (BuilderRefused(problem)) return std::nullopt;
    auto fail = [&](std::string message) {
      *problem = Problem{std::move(message), Where{}};
      return std::nullopt;
    };
    std::string list;
    for (const std::string& id : netIds_) list += (list.empty() ? "" : ", ") + id;
    if (netIds_.empty()) return fail("the document holds no net");
    if (!options_.netId.empty() && !chosen_) {
      return fail("the document holds no net with the id " + Quoted(options_.netId) + " (its nets: " + list +
                  ")");
    }
    if (options_.netId.empty() && netIds_.size() > 1) {
      return fail("the document holds " + std::to_string(netIds_.size()) + " nets (" + list +
                  "): choose one with --net ID");
    }
    if (!wrongType_.message.empty()) {
      *problem = std::move(wrongType_);
      return std::nullopt;
    }
    if (coloured_) return Unfold(problem);
    std::optional<Net> net = builder_.Freeze();
    if (!net) *problem = builder_.problem();
    return net;
  }

  // The symmetric net recorded, unfolded.
  std::optional<Net> Unfold(Problem* problem) {
    std::optional<symmetric::SymmetricNet> coloured = symmetric::ReadSymmetricNet(tree_, 0, problem);
    if (!coloured) return std::nullopt;
    tree_.Clear();
    NetBuilder builder;
    symmetric::UnfoldFigures figures;
    if (!symmetric::Unfold(*coloured, options_.maxNodes, &builder, &figures, problem)) return std::nullopt;
    coloured.reset();
    std::optional<Net> net = builder.Freeze();
    if (!net) {
      *problem = builder.problem();
      return std::nullopt;
    }
    if (unfolded_ != nullptr) *unfolded_ = figures;
    return net;
  }

  static void XMLCALL OnStart(void* data, const char* name, const char** atts) {
    Reader* r = static_cast<Reader*>(data);
    if (r->recording_ && r->Record(name, atts)) return;
    r->Start(name, atts);
  }
  static void XMLCALL OnEnd(void* data, const char*) {
    Reader* r = static_cast<Reader*>(data);
    if (r->recording_) {
      r->tree_.Close();
      if (r->coloured_) {
        if (--r->depth_ == 0) r->recording_ = false;  // the net's end
        return;
      }
    }
    r->End();
  }
  static void XMLCALL OnText(void* data, const char* text, int size) {
    Reader* r = static_cast<Reader*>(data);
    if (r->recording_) r->tree_.Text(text, static_cast<size_t>(size));
    if (r->skip_ == 0 && r->stack_.back() == Ctx::kText) r->text_.append(text, static_cast<size_t>(size));
  }

  // Records an element of the net into the tree; true when the element is
  // the tree's alone (the net is a symmetric one).
  bool Record(const char* name, const char** atts) {
    if (coloured_) {
      tree_.Open(name, atts, Here());
      ++depth_;
      return true;
    }
    if (tree_.size() >= kPtNetRecorded) {
      // A place/transition net: its elements are not held twice.
      recording_ = false;
      tree_.Clear();
      if (stack_.back() != Ctx::kText) XML_SetCharacterDataHandler(parser_, nullptr);
      return false;
    }
    tree_.Open(name, atts, Here());
    return false;
  }

  // Starts recording the net element being opened as a tree.
  void StartRecording(const char** atts, bool coloured) {
    tree_.Clear();
    tree_.Open("net", atts, Here());
    recording_ = true;
    coloured_ = coloured;
    depth_ = 1;
    XML_SetCharacterDataHandler(parser_, &Reader::OnText);
  }

  // A symmetric label in a net typed ptnet: the net is read as a symmetric
  // net from the tree recorded so far on.
  void BecomeColoured(const char* name) {
    if (!recording_) {
      Stop("the net is typed ptnet but carries <" + std::string(Local(name)) +
               ">, a symmetric net's label, after its first " + std::to_string(kPtNetRecorded) +
               " elements: give it the type symmetricnet",
           Here());
      return;
    }
    coloured_ = true;
    depth_ = tree_.depth();
    // The reader's own state is as after the net's start tag, for what
    // follows the net.
    stack_.resize(2);
    skip_ = 0;
  }
  static void XMLCALL OnEntityDecl(void* data, const char* name, int, const char*, int, const char*,
                                   const char*, const char*, const char*) {
    Reader* r = static_cast<Reader*>(data);
    r->Stop("the document declares the entity " + Quoted(name) +
                ": entity declarations are refused (a PNML net needs none)",
            r->Here());
  }

  // Under a DTD that is never loaded, a reference to an entity the document
  // does not declare is not an XML error: expat passes over it. Dropping it
  // would change a text ("1&x;2" read as 12 tokens), so it is refused.
  static void XMLCALL OnSkippedEntity(void* data, const char* name, int) {
    Reader* r = static_cast<Reader*>(data);
    r->Stop("the document refers to the entity " + Quoted(name) +
                ", which it does not declare (its DTD is never loaded)",
            r->Here());
  }

  void Push(Ctx ctx) { stack_.push_back(ctx); }

  void StartNode(Ctx ctx, const char** atts) {
    const Attributes attributes(atts);
    const char* id = attributes.id;
    node_.Clear();
    node_.where = Here();
    node_.id = id != nullptr ? id : "";
    if (node_.id.empty()) {
      const char* what = ctx == Ctx::kPlace        ? "a place"
                         : ctx == Ctx::kTransition ? "a transition"
                         : ctx == Ctx::kArc        ? "an arc"
                                                   : "a reference node";
      Stop(std::string(what) + " without an id", node_.where);
      return;
    }
    if (ctx == Ctx::kArc) {
      const char* source = attributes.source;
      const char* target = attributes.target;
      if (source == nullptr || target == nullptr) {
        Stop("arc " + node_.id + ": no " + (source == nullptr ? "source" : "target"), node_.where);
        return;
      }
      node_.source = source;
      node_.target = target;
      // Some tools give the kind of an arc as an attribute.
      if (const char* type = attributes.type) node_.arcType = type;
    } else if (ctx == Ctx::kReferencePlace || ctx == Ctx::kReferenceTransition) {
      const char* ref = attributes.ref;
      if (ref == nullptr) {
        Stop("reference node " + node_.id + ": no ref", node_.where);
        return;
      }
      node_.source = ref;
    }
    Push(ctx);
  }

  void Start(const char* name, const char** atts) {
    if (skip_ > 0) {
      ++skip_;
      return;
    }
    const Word word = WordOf(name);
    switch (stack_.back()) {
      case Ctx::kDocument:
        if (word != Word::kPnml) {
          Stop("the document is not PNML: its root element is " + Quoted(Local(name)), Here());
          return;
        }
        Push(Ctx::kPnml);
        return;
      case Ctx::kPnml:
        if (word == Word::kNet) return StartNet(atts);
        break;
      case Ctx::kNet:
      case Ctx::kPage:
        switch (word) {
          case Word::kDeclaration: return BecomeColoured(name);
          case Word::kPage: {
            const char* id = Attributes(atts).id;
            if (id != nullptr && *id != '\0') {
              builder_.AddOtherId(id, Here());
              StopIfRefused();
            }
            Push(Ctx::kPage);
            return;
          }
          case Word::kPlace: return StartNode(Ctx::kPlace, atts);
          case Word::kTransition: return StartNode(Ctx::kTransition, atts);
          case Word::kArc: return StartNode(Ctx::kArc, atts);
          case Word::kReferencePlace: return StartNode(Ctx::kReferencePlace, atts);
          case Word::kReferenceTransition: return StartNode(Ctx::kReferenceTransition, atts);
          default: break;
        }
        break;
      case Ctx::kPlace:
        if (word == Word::kName) return Push(Ctx::kName);
        if (word == Word::kInitialMarking) return Push(Ctx::kMarking);
        if (word == Word::kType || word == Word::kHlInitialMarking) return BecomeColoured(name);
        break;
      case Ctx::kTransition:
        if (word == Word::kName) return Push(Ctx::kName);
        if (word == Word::kCondition) return BecomeColoured(name);
        break;
      case Ctx::kArc:
        if (word == Word::kInscription) return Push(Ctx::kInscription);
        if (word == Word::kHlInscription) return BecomeColoured(name);
        if (word == Word::kType) {
          // The kind is given as a value attribute or as a text label.
          const char* value = Attributes(atts).value;
          if (value != nullptr) node_.arcType = value;
          return Push(Ctx::kArcType);
        }
        break;
      case Ctx::kName:
      case Ctx::kMarking:
      case Ctx::kInscription:
      case Ctx::kArcType:
        if (word == Word::kText) {
          text_.clear();
          textWhere_ = Here();
          // Text is wanted only here: elsewhere (the white space between
          // elements, most of a document's text) the parser calls nothing.
          XML_SetCharacterDataHandler(parser_, &Reader::OnText);
          return Push(Ctx::kText);
        }
        break;
      default:
        break;
    }
    // Graphics, tool-specific sections, unknown labels, other nets: the
    // whole subtree is passed over.
    skip_ = 1;
  }

  void StartNet(const char** atts) {
    const Attributes attributes(atts);
    const char* idAttribute = attributes.id;
    const std::string id = idAttribute != nullptr ? idAttribute : "";
    netIds_.push_back(id.empty() ? "(no id)" : id);
    const bool wanted = options_.netId.empty() ? netIds_.size() == 1 : !chosen_ && id == options_.netId;
    if (!wanted) {
      skip_ = 1;
      return;
    }
    chosen_ = true;
    const char* typeAttribute = attributes.type;
    const std::string type = typeAttribute != nullptr ? typeAttribute : "";
    if (TypeName(type) == "symmetricnet") return StartRecording(atts, true);
    if (TypeName(type) != "ptnet") {
      Problem wrong{"net " + Quoted(id) + " is of type " + (type.empty() ? std::string("(none)") : Quoted(type)) +
                        ", neither a place/transition net (.../grammar/ptnet) nor a symmetric net (.../grammar/symmetricnet)",
                    Here()};
      if (!options_.netId.empty()) {
        Stop(std::move(wrong.message), wrong.where);
      } else {
        // Reported once the document is known to hold no other net.
        wrongType_ = std::move(wrong);
        skip_ = 1;
      }
      return;
    }
    StartRecording(atts, false);
    Push(Ctx::kNet);
  }

  void End() {
    if (skip_ > 0) {
      --skip_;
      return;
    }
    const Ctx ctx = stack_.back();
    stack_.pop_back();
    switch (ctx) {
      case Ctx::kText:
        if (!recording_) XML_SetCharacterDataHandler(parser_, nullptr);
        EndText();
        return;
      case Ctx::kNet:
        // A place/transition net after all: its tree is not needed.
        recording_ = false;
        tree_.Clear();
        return;
      case Ctx::kPlace: {
        int64_t tokens = 0;
        if (node_.hasMarking && !ParseCount(Trim(node_.marking), &tokens)) {
          Stop("place " + node_.id + ": initial marking " + Quoted(Trim(node_.marking)) +
                   " is not a number of tokens (a decimal integer from 0 to " + std::to_string(kMaxValue) + ")",
               node_.markingWhere);
          return;
        }
        builder_.AddPlace(node_.id, Trim(node_.name), tokens, node_.where);
        StopIfRefused();
        return;
      }
      case Ctx::kTransition:
        builder_.AddTransition(node_.id, Trim(node_.name), node_.where);
        StopIfRefused();
        return;
      case Ctx::kArc: {
        const std::string_view kind = Trim(node_.arcType);
        if (!kind.empty() && kind != "normal") {
          Stop("arc " + node_.id + " is of kind " + Quoted(kind) +
                   ", which a place/transition net cannot hold",
               node_.where);
          return;
        }
        int64_t weight = 1;
        if (node_.hasInscription && (!ParseCount(Trim(node_.inscription), &weight) || weight == 0)) {
          Stop("arc " + node_.id + ": weight " + Quoted(Trim(node_.inscription)) +
                   " is not a decimal integer from 1 to " + std::to_string(kMaxValue),
               node_.markingWhere);
          return;
        }
        builder_.AddArc(node_.id, node_.source, node_.target, weight, node_.where);
        StopIfRefused();
        return;
      }
      case Ctx::kReferencePlace:
      case Ctx::kReferenceTransition:
        builder_.AddReference(node_.id, node_.source, ctx == Ctx::kReferencePlace, node_.where);
        StopIfRefused();
        return;
      default:
        return;
    }
  }

  void EndText() {
    switch (stack_.back()) {
      case Ctx::kName:
        if (!node_.hasName) node_.name = std::move(text_);
        node_.hasName = true;
        break;
      case Ctx::kMarking:
        node_.marking = std::move(text_);
        node_.hasMarking = true;
        node_.markingWhere = textWhere_;
        break;
      case Ctx::kInscription:
        node_.inscription = std::move(text_);
        node_.hasInscription = true;
        node_.markingWhere = textWhere_;
        break;
      case Ctx::kArcType:
        // A kind other than a plain arc wins, however the other form says it.
        if (!Trim(text_).empty() && Trim(text_) != "normal") node_.arcType = std::move(text_);
        break;
      default:
        break;
    }
    text_.clear();
  }

  // The node or arc being read.
  struct NodeData {
    std::string id, name, marking, inscription, source, target, arcType;
    bool hasName = false, hasMarking = false, hasInscription = false;
    Where where, markingWhere;
    // Empty again, keeping the strings' storage for the next node.
    void Clear() {
      for (std::string* text : {&id, &name, &marking, &inscription, &source, &target, &arcType}) text->clear();
      hasName = hasMarking = hasInscription = false;
      where = markingWhere = Where{};
    }
  };

  const PnmlOptions& options_;
  symmetric::UnfoldFigures* unfolded_;
  XML_Parser parser_ = nullptr;
  // The net as a tree: recorded while recording_; coloured_ once it is known
  // to be a symmetric net, whose elements are then the tree's alone (depth_
  // of them open).
  symmetric::XmlTree tree_;
  bool recording_ = false;
  bool coloured_ = false;
  size_t depth_ = 0;
  BuildPipeline builder_;
  std::vector<Ctx> stack_;
  uint64_t skip_ = 0;  // > 0: inside a subtree passed over, at this depth
  NodeData node_;
  std::string text_;
  Where textWhere_;
  std::vector<std::string> netIds_;
  bool chosen_ = false;
  Problem wrongType_;
  Problem problem_;
};

}  // namespace

std::optional<Net> ReadPnml(const ReadSome& input, const PnmlOptions& options, Problem* problem,
                            symmetric::UnfoldFigures* unfolded) {
  Reader reader(options, unfolded);
  return reader.Run(input, problem);
}

}  // namespace netfmt
