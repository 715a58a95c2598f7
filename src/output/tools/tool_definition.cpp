#include "output/tools/tool_definition.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "base/memory.h"
#include "base/text_helpers.h"
#include "formats/settings/cfg_lines.h"
#include "formats/settings/param_list.h"
#include "output/output_channels.h"
#include "output/output_emitters.h"
#include "output/output_record.h"
#include "output/pof/pof_writer.h"
#include "output/tools/tool_contours.h"

namespace {

using Text = std::optional<std::string>;

// Longest text a record field holds.
constexpr std::size_t kFieldMax = kRecTextField - 1;

// Type codes of the cfg "*FRTYP" values.
enum ToolTypeCode : int {
  kTypeBall = 1,
  kTypeEnd = 2,
  kTypeRadius = 3,
  kTypeDrill = 5,
  kTypeLollipop = 12,
  kTypeWoodruff = 13,
  kTypeBarrel = 14,
  kTypeLens = 15,
  kTypeChamfered = 16,
  kTypeTslot = 17,
  kTypeInsert = 101,
  kTypeThread = 102,
  kTypeRecessing = 103,
  kTypeAxialRecessing = 104,
};

struct TypeRow {
  const char* value;
  int code;
  const char* name;
};

constexpr TypeRow kTypeRows[] = {
    {"3", kTypeRadius, "radiusMill"},          {"5", kTypeDrill, "drilTool"},
    {"12", kTypeLollipop, "lollipop"},         {"13", kTypeWoodruff, "woodruff"},
    {"14", kTypeBarrel, "barrelcutter"},       {"15", kTypeLens, "lenscutter"},
    {"16", kTypeChamfered, "chamferedcutter"}, {"17", kTypeTslot, "Tslotcutter"},
    {"101", kTypeInsert, "insertTtool"},       {"102", kTypeThread, "threadTtool"},
    {"103", kTypeRecessing, "recessingTtool"}, {"104", kTypeAxialRecessing, "axialRecessingTtool"},
};

bool isTurning(int code) { return code >= kTypeInsert && code <= kTypeAxialRecessing; }

// The type code of a "*FRTYP" value; only its first three characters count.
int cfgTypeCode(const std::string& value) {
  const std::string v = value.substr(0, 3);
  if (v == "1" || v == "11" || v == "6") return kTypeBall;
  // "1" followed by a character other than 0 to 7 (so "18", "1x", "1-").
  if (v.size() >= 2 && v[0] == '1' && (v[1] < '0' || v[1] > '7')) return kTypeBall;
  for (const TypeRow& row : kTypeRows) {
    const std::size_t n = std::strlen(row.value);
    // "101" followed by a fourth character is still 101: only three count.
    if (v == row.value || (n == 3 && v.compare(0, 3, row.value) == 0)) return row.code;
  }
  return kTypeEnd;
}

const char* cfgTypeName(int code) {
  if (code == kTypeBall) return "ballMill";
  for (const TypeRow& row : kTypeRows) {
    if (row.code == code) return row.name;
  }
  return "endMill";
}

// The type code a PCF type name stands for (by its written name).
int pcfTypeCode(const std::string& name) {
  if (name == "ballMill") return kTypeBall;
  for (const TypeRow& row : kTypeRows) {
    if (name == row.name && !isTurning(row.code)) return row.code;
  }
  return kTypeEnd;
}

std::string fixed6(double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.6lf", v);
  return buf;
}

std::string fixed8(double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.8lf", v);
  return buf;
}

double toNumber(const Text& t) {
  double v = 0;
  if (t) strParseNumbers3(t->c_str(), &v, nullptr, nullptr);
  return v;
}

// The inputs of one variant: cfg lines (last line of a keyword counts) or
// parameters (exact names).
class ToolInputs {
 public:
  ToolInputs(const CycleDescriptor* ctx, bool cfg) : ctx_(ctx), cfg_(cfg) {}

  bool cfg() const { return cfg_; }

  // A given value: present and not empty.
  Text get(const char* key) const {
    if (key == nullptr) return std::nullopt;
    if (cfg_) {
      const char* found = nullptr;
      for (const CfgLine* l = ctx_->cfgLines; l != nullptr; l = l->next) {
        if (l->keyword[0] == '*' && std::strcmp(l->keyword, key) == 0) found = l->value;
      }
      if (found == nullptr || *found == '\0') return std::nullopt;
      return std::string(found);
    }
    char* v = paramListGet(ctx_->params, key, nullptr);
    if (v == nullptr) return std::nullopt;
    std::string s = v;
    memFree(v);
    if (s.empty()) return std::nullopt;
    return s;
  }
  Text get(const char* cfgKey, const char* pcfKey) const { return get(cfg_ ? cfgKey : pcfKey); }

  // The reference length variables in input order.  Cfg lines
  // "*TREF_<name>" become "Tref.<name>", parameters "TRef.<name>" keep their
  // own name (the prefixes in any case).
  struct RefLength {
    std::string variable;  // the variable's name
    std::string name;      // the reference name after the prefix
    std::string value;
  };
  std::vector<RefLength> referenceLengths() const {
    std::vector<RefLength> out;
    if (cfg_) {
      for (const CfgLine* l = ctx_->cfgLines; l != nullptr; l = l->next) {
        const std::string_view k = l->keyword;
        if (k.size() >= 6 && strEqualsNoCase(k.substr(0, 6), "*TREF_")) {
          out.push_back({"Tref." + std::string(k.substr(6)), std::string(k.substr(6)), l->value});
        }
      }
      return out;
    }
    for (const ParamEntry* e = ctx_->params; e != nullptr; e = e->next) {
      const std::string_view k = e->name;
      if (k.size() >= 5 && strEqualsNoCase(k.substr(0, 5), "TRef.")) {
        out.push_back({e->name, std::string(k.substr(5)), e->value});
      }
    }
    // The list is newest first; the output follows the file.
    return {out.rbegin(), out.rend()};
  }

 private:
  const CycleDescriptor* ctx_;
  bool cfg_;
};

// A comment cut to kToolCommentMax characters and escaped.
std::string escapedComment(const std::string& text) {
  return kfyEscapeText(std::string_view(text).substr(0, kToolCommentMax));
}

// The cmnt attribute: " cmnt[...]" with the escaped comment, at most
// kToolCmntMax characters of it (never cutting an escape), and at most
// room characters in all; empty without a comment.
std::string cmntAttribute(const Text& comment, std::size_t room) {
  if (!comment) return std::string();
  std::string esc = escapedComment(*comment);
  constexpr std::size_t kFrame = 7;  // " cmnt[" and "]"
  std::size_t keep = esc.size() < kToolCmntMax ? esc.size() : kToolCmntMax;
  if (room < kFrame) return std::string();
  if (keep > room - kFrame) keep = room - kFrame;
  esc.resize(outTextCutLength(esc.c_str(), keep));
  return " cmnt[" + esc + "]";
}

// A block head "<head><attributes> ) {" that fits a record field: the
// comment attribute gives way first, then the head is cut.
std::string blockLine(std::string head, const std::string& attrs, const Text& comment) {
  const std::string tail = " ) {";
  std::string fixed = head + attrs;
  if (fixed.size() + tail.size() > kFieldMax) {
    fixed.resize(outTextCutLength(fixed.c_str(), kFieldMax - tail.size()));
    return fixed + tail;
  }
  return fixed + cmntAttribute(comment, kFieldMax - tail.size() - fixed.size()) + tail;
}

class ToolWriter {
 public:
  ToolWriter(CycleDescriptor* ctx, bool cfg) : ctx_(ctx), in_(ctx, cfg) {}

  void write() {
    readInputs();
    sendToolCs();
    if (comment_) outSendComment(ctx_, comment_->c_str());
    if (id_) writeToolBlock();
    if (ncStop_) outSendArg(ctx_, "tr", "M0");
    if (turningStyle_) {
      writeTurningReference();
    } else {
      writeMillingReference();
    }
    if (id_) writeCoolant();
  }

 private:
  void var(const char* name, const Text& value) {
    if (value) outSendToolVariable(ctx_, name, value->c_str());
  }
  void var(const char* name, const char* cfgKey, const char* pcfKey) {
    var(name, in_.get(cfgKey, pcfKey));
  }
  void line(const std::string& text) { outSendVariableText(ctx_, text.c_str()); }
  void arg(const char* name, const std::string& value) { outSendArg(ctx_, name, value.c_str()); }

  void readInputs() {
    const bool cfg = in_.cfg();
    id_ = in_.get("*WKZNUMMER", "toolName");
    comment_ = in_.get("*WKZKOMMENTAR", "toolComment");
    typeText_ = in_.get("*FRTYP", "toolType");
    if (cfg) {
      typeCode_ = cfgTypeCode(typeText_.value_or(""));
      diameter_ = 2.0 * toNumber(in_.get("*FRRADIUS"));
    } else {
      if (typeText_ && strEqualsNoCase(*typeText_, "drillTool")) typeText_ = "drilTool";
      typeCode_ = pcfTypeCode(typeText_.value_or(""));
      diameter_ = toNumber(in_.get("toolDiameter"));
    }
    turning_ = cfg && isTurning(typeCode_);
    turningStyle_ = cfg ? turning_ : in_.get("toolOrientation").has_value();
    const Text stop = in_.get("*NC_STOP", "NCstop");
    ncStop_ = stop && (cfg ? (*stop)[0] == '1' : *stop == "true");

    ToolRecord* rec = ctx_->toolRecord;
    const Text contour = in_.get("*TOOL_CONTOUR", "toolContour");
    toolReadContourFile(contour ? contour->c_str() : nullptr, &rec->contours);
    holder_ = rec->contours.holder.count >= 2;
    for (const auto& [c, p] : kHolderKeys) {
      const Text v = in_.get(c, p);
      if (v && !(cfg && *v == "0")) holder_ = true;
    }
    head_ = rec->contours.head.count >= 2;
    for (const auto& [c, p] : kHeadKeys) {
      if (in_.get(c, p)) head_ = true;
    }
    if (cfg) readToolCs();
  }

  // "*WZKO_X" ... "*WZKO_O" with three numbers set the columns of toolCs.
  void readToolCs() {
    const char* keys[4] = {"*WZKO_X", "*WZKO_Y", "*WZKO_Z", "*WZKO_O"};
    for (int col = 0; col < 4; ++col) {
      const Text t = in_.get(keys[col]);
      double v[3] = {0, 0, 0};
      if (t && strParseNumbers3(t->c_str(), &v[0], &v[1], &v[2]) == 3) {
        for (int row = 0; row < 3; ++row) ctx_->toolCs.m[row][col] = v[row];
      }
    }
  }

  void sendToolCs() {
    const char axes[] = "xyzo";
    for (int col = 0; col < 4; ++col) {
      const std::string name = std::string("toolCs_") + axes[col];
      const std::string value = fixed8(ctx_->toolCs.m[0][col]) + "," +
                                fixed8(ctx_->toolCs.m[1][col]) + "," +
                                fixed8(ctx_->toolCs.m[2][col]);
      OutputRecord r;
      outRecClear(&r, kRecStatusValue);
      outRecSetText(&r, kRecName, name.c_str());
      outRecSetText(&r, kRecValue, value.c_str());
      outSendRecord(ctx_, kChanStatus, &r);
    }
  }

  void writeToolBlock() {
    std::string attrs;
    if (in_.cfg()) {
      attrs = std::string(" type[") + cfgTypeName(typeCode_) + "]";
    } else if (typeText_) {
      attrs = " type[" + *typeText_ + "]";
    }
    line(blockLine("oTool[" + *id_ + "](", attrs, comment_));
    if (const Text c2 = in_.get("*WKZKOMMENTAR2", "toolComment2")) {
      var("comment", escapedComment(*c2));
    }
    if (turning_) {
      writeTurningVariables();
    } else {
      writeMillingVariables();
    }
    if (holder_) writeHolder();
    if (head_) writeHead();
    line("}");
  }

  // The corner radius a type implies; nullopt when it writes none.
  Text typeCornerRadius() const {
    switch (typeCode_) {
      case kTypeBall:
      case kTypeLollipop:
        return fixed6(diameter_ / 2.0);
      case kTypeRadius:
      case kTypeWoodruff:
      case kTypeBarrel:
      case kTypeLens:
        return fixed6(toNumber(in_.get("*FRBOGEN", "cornerRadius")));
      default:
        return std::nullopt;
    }
  }

  void writeMillingVariables() {
    var("toolDiameter", fixed6(diameter_));
    var("cornerRadius", typeCornerRadius());
    switch (typeCode_) {
      case kTypeLollipop:
        var("tipDiameter", "*TIP_DIAMETER", "tipDiameter");
        break;
      case kTypeWoodruff:
      case kTypeTslot:
        var("tipDiameter", "*TIP_DIAMETER", "tipDiameter");
        var("discHeight", "*DISC_HEIGHT", "discHeight");
        break;
      case kTypeBarrel:
        var("tipDiameter", "*TIP_DIAMETER", "tipDiameter");
        var("barrelHeight", "*BARREL_HEIGHT", "barrelHeight");
        var("centerHeight", "*CENTER_HEIGHT", "centerHeight");
        var("barrelRadius", "*BARREL_RADIUS", "barrelRadius");
        break;
      case kTypeLens:
        var("lensRadius", "*LENS_RADIUS", "lensRadius");
        break;
      case kTypeChamfered:
        var("tipDiameter", "*TIP_DIAMETER", "tipDiameter");
        var("chamferAngle", "*CHAMFER_ANGLE", "chamferAngle");
        var("nominalDiameter", "*NOMINAL_DIAMETER", "nominalDiameter");
        break;
      default:
        break;
    }
    var("toolRadiusAllowance", "*TOOL_RADIUS_ALLOWANCE", "toolRadiusAllowance");
    var("toolLengthAllowance", "*TOOL_LENGTH_ALLOWANCE", "toolLengthAllowance");
    var("taperAngle", "*TAPER_ANGLE", "taperAngle");
    Text taperHeight = in_.get("*TIP_LENGTH", "taperHeight");
    if (!taperHeight && in_.cfg()) taperHeight = in_.get("*TAPER_HEIGHT");
    var("taperHeight", taperHeight);
    var("coneAngle", "*TIP_ANGLE", "coneAngle");
    const Text length = in_.get("*FRLAENGE", "toolLength");
    const Text total = in_.get("*TOTAL_TOOL_LENGTH", "totalToolLength");
    var("toolLength", length);
    var("toolTotalLength", total);
    var("cuttingLength", "*CUTTING_LENGTH", "cuttingLength");
    var("toolRTCPlength", length ? length : total);
    var("planeFeedrate", "*XVORSCHUB", "planeFeedrate");
    var("zFeedrate", "*ZVORSCHUB", "zFeedrate");
    Text speed = in_.get("*INITIAL_SPINDLE_SPEED", "initialSpindleSpeed");
    if (!speed) speed = in_.get("*DREHZAHL", "spindleSpeed");
    var("spindleSpeed", speed);
    Text rotation = in_.get("*DREHRICHT", "spindleRotation");
    if (rotation && in_.cfg()) {
      rotation = (*rotation)[0] == '0'   ? "none"
                 : (*rotation)[0] == '1' ? "clockwise"
                                         : "counterClockwise";
    }
    var("spindleRotation", rotation);
    for (const auto& ref : in_.referenceLengths()) var(ref.variable.c_str(), ref.value);
    Text reference = in_.get("*TOOL_REFERENCE", "toolReference");
    if (!reference && in_.cfg()) {
      if (const Text tip = in_.get("*TOOL_TIP")) {
        reference = *tip == "1" ? "tip" : *tip == "3" ? "left" : *tip == "4" ? "right" : "center";
      }
    }
    var("toolReference", reference);
    var("toolShaftDiameter", "*SHAFT_DIAMETER", "toolShaftDiameter");
    var("toolShaftChamferLength", "*CHAMFER_LENGTH", "toolShaftChamferLength");
    toolWriteContour(ctx_, " ", &ctx_->toolRecord->contours.tool);
  }

  Text sideOfInsert() const {
    const Text s = in_.get("*SIDE_OF_INSERT");
    if (!s) return std::nullopt;
    if (*s == "-1") return "right";
    if (*s == "0") return "tip";
    if (*s == "1") return "left";
    return std::nullopt;
  }

  Text mountingDirection() const {
    const Text m = in_.get("*MOUNTING_DIRECTION");
    if (!m) return std::nullopt;
    if (m->rfind("-1", 0) == 0) return "right";
    if ((*m)[0] == '0') return "tip";
    if ((*m)[0] == '2') return "inverse";
    if ((*m)[0] == '-') return "rotated";
    return "left";
  }

  void writeTurningVariables() {
    var("extrusionThickness", in_.get("*EXTRUSION_THICKNESS"));
    var("insertThickness", in_.get("*INSERT_THICKNESS"));
    var("insertAxisDistance", in_.get("*INSERT_AXIS_DISTANCE"));
    var("insertShaftDistance", in_.get("*INSERT_SHAFT_DISTANCE"));
    const Text corner = in_.get("*FRBOGEN");
    switch (typeCode_) {
      case kTypeInsert:
        if (const Text t = in_.get("*INSERT_TYPE")) {
          const long kind = std::strtol(t->c_str(), nullptr, 10);
          const char* names[] = {"rhombic", "triangular", "round"};
          if (kind >= 1 && kind <= 3) var("insertType", std::string(names[kind - 1]));
          if (kind >= 1) {
            var("sideOfInsert", sideOfInsert());
            var("cornerRadius", corner);
          }
          if (kind == 1) {
            var("insertApproachAngle", in_.get("*INSERT_APPROACH_ANGLE"));
            var("insertAngle", in_.get("*INSERT_ANGLE"));
            var("insertLength", in_.get("*INSERT_LENGTH"));
            var("insertHeight", in_.get("*INSERT_HEIGHT"));
          } else if (kind == 2) {
            var("insertApproachAngle", in_.get("*INSERT_APPROACH_ANGLE"));
            var("insertLength", in_.get("*INSERT_LENGTH"));
          }
        }
        break;
      case kTypeThread:
        var("heightOfCuttingArea", in_.get("*HEIGHT_OF_CUTTING_AREA"));
        var("mountingDirection", mountingDirection());
        var("sideOfInsert", sideOfInsert());
        break;
      default:  // recessing and axial recessing
        var("cornerRadius", corner);
        var("widthOfCuttingArea", in_.get("*WIDTH_OF_CUTTING_AREA"));
        var("heightOfCuttingArea", in_.get("*HEIGHT_OF_CUTTING_AREA"));
        var("mountingDirection", mountingDirection());
        var("sideOfInsert", sideOfInsert());
        if (typeCode_ == kTypeAxialRecessing) {
          var("minimumGrooveDiameter", in_.get("*MINIMUM_GROOVE_DIAMETER"));
          var("maximumGrooveDiameter", in_.get("*MAXIMUM_GROOVE_DIAMETER"));
        }
        break;
    }
    for (int n = 1; n <= 4; ++n) {
      const std::string d = std::to_string(n);
      var(("toolShaftDiameter" + d).c_str(), in_.get(("*SHAFT_DIAMETER" + d).c_str()));
      var(("toolShaftLength" + d).c_str(), in_.get(("*SHAFT_LENGTH" + d).c_str()));
    }
    toolWriteContour(ctx_, " ", &ctx_->toolRecord->contours.extrusion);
  }

  void writeDimensions(const std::pair<const char*, const char*> (&keys)[4]) {
    const char* names[4] = {"length1", "diameter1", "length2", "diameter2"};
    for (int i = 0; i < 4; ++i) var(names[i], keys[i].first, keys[i].second);
  }

  void writeHolder() {
    const Text type = in_.get("*HOLDERTYP", "toolHolderType");
    const std::string attrs = type ? " type[" + kfyEscapeText(*type) + "]" : std::string();
    line(blockLine("oToolHolder(", attrs, in_.get("*HOLDERKOMMENTAR", "toolHolderComment")));
    if (const Text c2 = in_.get("*HOLDERKOMMENTAR2", "toolHolderComment2")) {
      var("comment", escapedComment(*c2));
    }
    writeDimensions(kHolderKeys);
    toolWriteContour(ctx_, "  ", &ctx_->toolRecord->contours.holder);
    line("  }");
  }

  void writeHead() {
    line("oToolHead( ) {");
    writeDimensions(kHeadKeys);
    toolWriteContour(ctx_, "  ", &ctx_->toolRecord->contours.head);
    line("  }");
  }

  void writeTurningReference() {
    const Text z = in_.get("*REFERENCE_OFFSET_Z", "referenceOffsetZ");
    const Text x = in_.get("*REFERENCE_OFFSET_X", "referenceOffsetX");
    const bool both = z && x;
    arg("referenceOffsetZ", both ? *z : "0");
    arg("referenceOffsetX", both ? *x : "0");
    bool referenceGiven = false;
    if (in_.cfg()) {
      if (const Text tip = in_.get("*TOOL_TIP")) {
        arg("toolReference", *tip == "3" ? "left" : *tip == "4" ? "right" : "tip");
        referenceGiven = true;
      }
    } else {
      const Text r = in_.get("toolReference");
      const bool left = r && strEqualsNoCase(*r, "left");
      const bool right = r && strEqualsNoCase(*r, "right");
      arg("toolReference", left ? "left" : right ? "right" : "tip");
      referenceGiven = r.has_value();
    }
    const Text orientation = in_.get("*TOOL_ORIENTATION", "toolOrientation");
    if (orientation) arg("toolOrientation", *orientation);
    if (id_) {
      arg("T", *id_);
      arg("tr", "TC");
    }
    if (referenceGiven) arg("tr", "toolReference");
    if (orientation) arg("tr", "toolOrientation");
  }

  void writeMillingReference() {
    std::string reference;
    if (const Text r = in_.get("*TOOL_REFERENCE", "toolReference")) {
      reference = *r;
    } else if (in_.cfg()) {
      const Text tip = in_.get("*TOOL_TIP");
      reference = tip && *tip == "1" ? "tip" : "center";
    } else {
      reference = "tip";
    }
    arg("toolReference", reference);
    std::string length = "0";
    if (reference == "center") {
      switch (typeCode_) {
        case kTypeBall:
        case kTypeLollipop:
          length = fixed6(diameter_ / 2.0);
          break;
        case kTypeRadius:
        case kTypeWoodruff:
          length = in_.get("*FRBOGEN", "cornerRadius").value_or("0");
          break;
        case kTypeBarrel:
          length = in_.get("*CENTER_HEIGHT", "centerHeight").value_or("0");
          break;
        case kTypeLens:
          length = in_.get("*LENS_RADIUS", "lensRadius").value_or("0");
          break;
        default:
          break;
      }
    } else if (reference != "tip") {
      for (const auto& ref : in_.referenceLengths()) {
        if (ref.name == reference) length = ref.value;
      }
    }
    arg("toolReferenceLength", length);
    if (id_) {
      arg("T", *id_);
      arg("tr", "TC");
      arg("tr", "toolReference");
    }
  }

  void writeCoolant() {
    std::string m8 = "0,0";
    if (in_.cfg()) {
      const Text c = in_.get("*KUEHLMITTEL");
      if (c && *c == "1") m8 = "1,0";
      if (c && *c == "3") m8 = "0,1";
      if (c && *c == "4") m8 = "1,1";
    } else if (const Text c = in_.get("coolant")) {
      m8 = *c;
    }
    arg("M8", m8);
    arg("M8add", in_.get("*KUEHLMITTEL2", "coolant2").value_or("0"));
    arg("tr", "M8");
  }

  static constexpr std::pair<const char*, const char*> kHolderKeys[4] = {
      {"*LENGTH1", "toolHolderLength1"},
      {"*DIAMETER1", "toolHolderDiameter1"},
      {"*LENGTH2", "toolHolderLength2"},
      {"*DIAMETER2", "toolHolderDiameter2"},
  };
  static constexpr std::pair<const char*, const char*> kHeadKeys[4] = {
      {"*HEAD_LENGTH1", "toolHeadLength1"},
      {"*HEAD_DIAMETER1", "toolHeadDiameter1"},
      {"*HEAD_LENGTH2", "toolHeadLength2"},
      {"*HEAD_DIAMETER2", "toolHeadDiameter2"},
  };

  CycleDescriptor* ctx_;
  ToolInputs in_;
  Text id_, comment_, typeText_;
  int typeCode_ = kTypeEnd;
  double diameter_ = 0;
  bool turning_ = false, turningStyle_ = false, ncStop_ = false;
  bool holder_ = false, head_ = false;
};

}  // namespace

void toolWriteDefinition(std::FILE* stream, CycleDescriptor* ctx) {
  if (ctx == nullptr) return;
  toolRecordRelease(ctx->toolRecord);
  ctx->toolRecord = new (std::nothrow) ToolRecord;
  if (ctx->toolRecord == nullptr || ctx->toolOutput != 1 || stream == nullptr) return;
  if (ctx->cfgMode == 1) {
    toolWriteFromCfg(ctx);
  } else {
    toolWriteFromPcf(ctx);
  }
}

void toolRecordRelease(ToolRecord* record) { delete record; }

void toolWriteFromCfg(CycleDescriptor* ctx) {
  if (ctx != nullptr && ctx->toolRecord != nullptr) ToolWriter(ctx, true).write();
}

void toolWriteFromPcf(CycleDescriptor* ctx) {
  if (ctx != nullptr && ctx->toolRecord != nullptr) ToolWriter(ctx, false).write();
}

void toolInstallDefinitionOutput() {
  pofSetToolDefinitionOutput(toolWriteDefinition, toolRecordRelease);
}
