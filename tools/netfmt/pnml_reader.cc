// SPDX-License-Identifier: MIT
#include "pnml_reader.h"

#include <errno.h>
#include <expat.h>

#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include "text_util.h"

namespace netfmt {

namespace {

// Bytes handed to expat at once: few calls, and a buffer that stays small
// beside the net.
constexpr size_t kChunk = size_t{1} << 20;

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
  kText,
};

// The element's name without a namespace prefix.
const char* Local(const char* name) {
  const char* colon = std::strrchr(name, ':');
  return colon != nullptr ? colon + 1 : name;
}

const char* Attribute(const char** atts, const char* wanted) {
  for (; atts[0] != nullptr; atts += 2) {
    if (std::strcmp(Local(atts[0]), wanted) == 0) return atts[1];
  }
  return nullptr;
}

bool IsPtNetType(std::string_view type) {
  const size_t slash = type.rfind('/');
  const std::string_view last = slash == std::string_view::npos ? type : type.substr(slash + 1);
  return last == "ptnet";
}

std::string Quoted(std::string_view text) { return "\"" + std::string(text) + "\""; }

class Reader {
 public:
  explicit Reader(const PnmlOptions& options) : options_(options) {}

  std::optional<Net> Run(const ReadSome& input, Problem* problem) {
    std::unique_ptr<XML_ParserStruct, decltype(&XML_ParserFree)> parser(XML_ParserCreate(nullptr),
                                                                          XML_ParserFree);
    if (!parser) throw std::bad_alloc();
    parser_ = parser.get();
    XML_SetUserData(parser_, this);
    XML_SetElementHandler(parser_, &Reader::OnStart, &Reader::OnEnd);
    XML_SetCharacterDataHandler(parser_, &Reader::OnText);
    XML_SetEntityDeclHandler(parser_, &Reader::OnEntityDecl);
    XML_SetSkippedEntityHandler(parser_, &Reader::OnSkippedEntity);
    XML_SetParamEntityParsing(parser_, XML_PARAM_ENTITY_PARSING_NEVER);
    stack_.reserve(32);
    stack_.push_back(Ctx::kDocument);

    for (;;) {
      void* buf = XML_GetBuffer(parser_, kChunk);
      if (buf == nullptr) throw std::bad_alloc();
      const long n = input(static_cast<char*>(buf), kChunk);
      if (n < 0) {
        *problem = Problem{std::string("cannot read: ") + std::strerror(errno), Where{}};
        return std::nullopt;
      }
      if (XML_ParseBuffer(parser_, static_cast<int>(n), n == 0) != XML_STATUS_OK) {
        if (problem_.message.empty()) {
          problem_ = Problem{std::string("not well-formed XML: ") + XML_ErrorString(XML_GetErrorCode(parser_)),
                             Here()};
        }
        *problem = std::move(problem_);
        return std::nullopt;
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
  void StopWithBuilder() { Stop(builder_.problem().message, builder_.problem().where); }

  std::optional<Net> Finish(Problem* problem) {
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
    std::optional<Net> net = builder_.Freeze();
    if (!net) *problem = builder_.problem();
    return net;
  }

  static void XMLCALL OnStart(void* data, const char* name, const char** atts) {
    static_cast<Reader*>(data)->Start(Local(name), atts);
  }
  static void XMLCALL OnEnd(void* data, const char* name) { static_cast<Reader*>(data)->End(Local(name)); }
  static void XMLCALL OnText(void* data, const char* text, int size) {
    Reader* r = static_cast<Reader*>(data);
    if (r->skip_ == 0 && r->stack_.back() == Ctx::kText) r->text_.append(text, static_cast<size_t>(size));
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
    const char* id = Attribute(atts, "id");
    node_ = NodeData{};
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
      const char* source = Attribute(atts, "source");
      const char* target = Attribute(atts, "target");
      if (source == nullptr || target == nullptr) {
        Stop("arc " + node_.id + ": no " + (source == nullptr ? "source" : "target"), node_.where);
        return;
      }
      node_.source = source;
      node_.target = target;
      // Some tools give the kind of an arc as an attribute.
      if (const char* type = Attribute(atts, "type")) node_.arcType = type;
    } else if (ctx == Ctx::kReferencePlace || ctx == Ctx::kReferenceTransition) {
      const char* ref = Attribute(atts, "ref");
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
    switch (stack_.back()) {
      case Ctx::kDocument:
        if (std::strcmp(name, "pnml") != 0) {
          Stop("the document is not PNML: its root element is " + Quoted(name), Here());
          return;
        }
        Push(Ctx::kPnml);
        return;
      case Ctx::kPnml:
        if (std::strcmp(name, "net") == 0) {
          StartNet(atts);
          return;
        }
        break;
      case Ctx::kNet:
      case Ctx::kPage:
        if (std::strcmp(name, "page") == 0) {
          const char* id = Attribute(atts, "id");
          if (id != nullptr && *id != '\0' && !builder_.AddOtherId(id, Here())) {
            StopWithBuilder();
            return;
          }
          Push(Ctx::kPage);
          return;
        }
        if (std::strcmp(name, "place") == 0) return StartNode(Ctx::kPlace, atts);
        if (std::strcmp(name, "transition") == 0) return StartNode(Ctx::kTransition, atts);
        if (std::strcmp(name, "arc") == 0) return StartNode(Ctx::kArc, atts);
        if (std::strcmp(name, "referencePlace") == 0) return StartNode(Ctx::kReferencePlace, atts);
        if (std::strcmp(name, "referenceTransition") == 0) return StartNode(Ctx::kReferenceTransition, atts);
        break;
      case Ctx::kPlace:
        if (std::strcmp(name, "name") == 0) return Push(Ctx::kName);
        if (std::strcmp(name, "initialMarking") == 0) return Push(Ctx::kMarking);
        break;
      case Ctx::kTransition:
        if (std::strcmp(name, "name") == 0) return Push(Ctx::kName);
        break;
      case Ctx::kArc:
        if (std::strcmp(name, "inscription") == 0) return Push(Ctx::kInscription);
        if (std::strcmp(name, "type") == 0) {
          const char* value = Attribute(atts, "value");
          if (value != nullptr) node_.arcType = value;
        }
        break;
      case Ctx::kName:
      case Ctx::kMarking:
      case Ctx::kInscription:
        if (std::strcmp(name, "text") == 0) {
          text_.clear();
          textWhere_ = Here();
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
    const char* idAttribute = Attribute(atts, "id");
    const std::string id = idAttribute != nullptr ? idAttribute : "";
    netIds_.push_back(id.empty() ? "(no id)" : id);
    const bool wanted = options_.netId.empty() ? netIds_.size() == 1 : !chosen_ && id == options_.netId;
    if (!wanted) {
      skip_ = 1;
      return;
    }
    chosen_ = true;
    const char* typeAttribute = Attribute(atts, "type");
    const std::string type = typeAttribute != nullptr ? typeAttribute : "";
    if (!IsPtNetType(type)) {
      Problem wrong{"net " + Quoted(id) + " is of type " + (type.empty() ? std::string("(none)") : Quoted(type)) +
                        ", not a place/transition net (.../grammar/ptnet)",
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
    Push(Ctx::kNet);
  }

  void End(const char*) {
    if (skip_ > 0) {
      --skip_;
      return;
    }
    const Ctx ctx = stack_.back();
    stack_.pop_back();
    switch (ctx) {
      case Ctx::kText:
        EndText();
        return;
      case Ctx::kPlace: {
        int32_t tokens = 0;
        if (node_.hasMarking && !ParseCount(Trim(node_.marking), &tokens)) {
          Stop("place " + node_.id + ": initial marking " + Quoted(Trim(node_.marking)) +
                   " is not a number of tokens (a decimal integer from 0 to 2147483647)",
               node_.markingWhere);
          return;
        }
        if (!builder_.AddPlace(node_.id, Trim(node_.name), tokens, node_.where)) StopWithBuilder();
        return;
      }
      case Ctx::kTransition:
        if (!builder_.AddTransition(node_.id, Trim(node_.name), node_.where)) StopWithBuilder();
        return;
      case Ctx::kArc: {
        const std::string_view kind = Trim(node_.arcType);
        if (!kind.empty() && kind != "normal") {
          Stop("arc " + node_.id + " is of kind " + Quoted(kind) +
                   ", which a place/transition net cannot hold",
               node_.where);
          return;
        }
        int32_t weight = 1;
        if (node_.hasInscription && (!ParseCount(Trim(node_.inscription), &weight) || weight == 0)) {
          Stop("arc " + node_.id + ": weight " + Quoted(Trim(node_.inscription)) +
                   " is not a decimal integer from 1 to 2147483647",
               node_.markingWhere);
          return;
        }
        if (!builder_.AddArc(node_.id, node_.source, node_.target, weight, node_.where)) StopWithBuilder();
        return;
      }
      case Ctx::kReferencePlace:
      case Ctx::kReferenceTransition:
        if (!builder_.AddReference(node_.id, node_.source, ctx == Ctx::kReferencePlace, node_.where)) {
          StopWithBuilder();
        }
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
  };

  const PnmlOptions& options_;
  XML_Parser parser_ = nullptr;
  NetBuilder builder_;
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

std::optional<Net> ReadPnml(const ReadSome& input, const PnmlOptions& options, Problem* problem) {
  Reader reader(options);
  return reader.Run(input, problem);
}

}  // namespace netfmt
