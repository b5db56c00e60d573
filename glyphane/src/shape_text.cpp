// Building shape texts, the page's position tree and the hand-over of a
// page to the sink.
//
// Texts stay in the bytes the drawing stores (UTF-16LE from version 11, the
// text code page before). A field mark is the byte 0x1E (before version 6 it
// opens a field code of three more bytes) or the unit 0xFFFC.
#include "shape_text.h"

#include <cmath>

#include "dalvex/extract_records.h"
#include "dalvex/portability.h"
#include "text_bytes.h"

namespace glyphane {

namespace {

constexpr double kCloseEnough = 0.02;

// Whether `node` comes after sibling `s`: siblings run by descending y and,
// for y values closer than 0.02, by ascending x. A NaN compares as equal.
bool Follows(const PositionNode& node, const PositionNode& s) {
  double dy = node.y - s.y;
  if (!std::isnan(dy) && std::fabs(dy) >= kCloseEnough) return s.y > node.y;
  double dx = node.x - s.x;
  if (std::isnan(dx) || std::fabs(dx) < kCloseEnough) return false;
  return node.x > s.x;
}

// Inserts node `n` into the sibling list whose head is `*head`.
void InsertSibling(std::vector<PositionNode>& tree, int32_t* head, int32_t n) {
  int32_t prev = -1;
  int32_t at = *head;
  while (at >= 0 && Follows(tree[n], tree[at])) {
    prev = at;
    at = tree[at].next;
  }
  tree[n].prev = prev;
  tree[n].next = at;
  if (at >= 0) tree[at].prev = n;
  if (prev >= 0)
    tree[prev].next = n;
  else
    *head = n;
}

int32_t FindNode(const std::vector<PositionNode>& tree, uint32_t shape_id) {
  for (size_t i = 0; i < tree.size(); ++i)
    if (tree[i].shape_id == shape_id) return static_cast<int32_t>(i);
  return -1;
}

// Places a node; answers false when its parent is not in the tree yet.
bool Place(VsdSession& session, PositionNode node, bool first_may_open) {
  auto& tree = session.tree;
  node.next = node.prev = node.first_child = -1;
  if (tree.empty() && first_may_open) {
    tree.push_back(node);
    session.tree_first = 0;
    return true;
  }
  int32_t parent = -1;
  if (node.parent_id != 0) {
    parent = FindNode(tree, node.parent_id);
    if (parent < 0) return false;
  }
  tree.push_back(node);
  int32_t n = static_cast<int32_t>(tree.size() - 1);
  InsertSibling(tree, parent < 0 ? &session.tree_first : &tree[parent].first_child, n);
  return true;
}

uint16_t UnitAt(const std::string& text, size_t i) {
  return static_cast<uint16_t>(static_cast<uint8_t>(text[i]) |
                               (static_cast<uint8_t>(text[i + 1]) << 8));
}

// The value a field record gives, formatted once.
int32_t FieldValue(FieldFormatter& formatter, const FieldContext& context, FieldRecord* record) {
  if (record->value_set) return 0;
  if (record->value_ref.kind == FieldRef::kOwnText && !record->value_text.empty()) {
    record->value_set = true;
    return 0;
  }
  if (record->value_ref.kind == FieldRef::kNone) {
    record->value_set = true;
    record->value_text.clear();
    return 0;
  }
  std::string value;
  if (int32_t rc = formatter.FormatField(context, *record, &value)) return rc;
  CutToCapacity(&value, kMaxValueTextBytes, context.code_page);
  record->value_text = std::move(value);
  record->value_set = true;
  return 0;
}

// Lower-cases 'A'-'Z' ('&') or upper-cases 'a'-'z' ('\'') of a field value.
std::string FieldCase(const FieldRecord& record, bool utf16, uint32_t code_page) {
  std::string value = record.value_text;
  if (record.kind == 0 || record.kind == 1 || record.kind == 3) return value;
  bool lower = record.format_code == '&';
  if (!lower && record.format_code != '\'') return value;
  char from = lower ? 'A' : 'a', to = lower ? 'Z' : 'z';
  int shift = lower ? 32 : -32;
  if (utf16) {
    for (size_t i = 0; i + 1 < value.size(); i += 2)
      if (value[i + 1] == 0 && value[i] >= from && value[i] <= to) value[i] = static_cast<char>(value[i] + shift);
    return value;
  }
  for (size_t i = 0; i < value.size(); ++i) {
    if (IsLeadByte(code_page, static_cast<uint8_t>(value[i]))) {
      ++i;
      continue;
    }
    if (value[i] >= from && value[i] <= to) value[i] = static_cast<char>(value[i] + shift);
  }
  return value;
}

// Copies `text`, replacing the k-th field mark with value(k).
template <typename ValueOf>
std::string ReplaceMarks(const std::string& text, bool utf16, uint32_t code_page, ValueOf value_of) {
  std::string out;
  size_t mark = 0;
  if (utf16) {
    for (size_t i = 0; i + 1 < text.size(); i += 2) {
      if (UnitAt(text, i) == 0xFFFC)
        out += value_of(mark++);
      else
        out.append(text, i, 2);
    }
    return out;
  }
  for (size_t i = 0; i < text.size(); ++i) {
    uint8_t b = static_cast<uint8_t>(text[i]);
    if (b == 0x1E) {
      out += value_of(mark++);
    } else if (IsLeadByte(code_page, b) && i + 1 < text.size()) {
      out.append(text, i, 2);
      ++i;
    } else {
      out.push_back(text[i]);
    }
  }
  return out;
}

// The own text split into runs in the order of the run ids, each with its
// case rule.
std::string ApplyRuns(const ShapeItem& item, const std::string& text, bool utf16, uint32_t code_page) {
  if (item.run_ids.empty()) return text;
  std::string out;
  uint64_t at = 0;
  for (size_t k = 0; k < item.run_ids.size() && at < text.size(); ++k) {
    const TextRun* run = nullptr;
    for (const TextRun& r : item.runs)
      if (r.run_id == item.run_ids[k]) { run = &r; break; }
    if (run == nullptr) break;  // the rest of the text is left out
    bool last = k + 1 == item.run_ids.size();
    uint64_t length = last ? text.size() - at : std::min<uint64_t>(run->length, text.size() - at);
    if (length == 0) continue;
    std::string part = text.substr(at, length);
    ApplyCase(&part, CaseOfRun(run->style, run->case_byte), utf16, code_page);
    out += part;
    at += length;
  }
  return out;
}

}  // namespace

RunCase CaseOfRun(uint8_t style, uint8_t case_byte) {
  if ((style == 0 && case_byte == 1) || (case_byte == 0 && (style == 8 || style == 12))) return RunCase::kUpper;
  if (style == 0 && case_byte == 2) return RunCase::kWordStart;
  return RunCase::kAsIs;
}

void ApplyCase(std::string* text, RunCase rule, bool utf16, uint32_t code_page) {
  if (rule == RunCase::kAsIs) return;
  bool word_start = true;  // each run begins as the start of a word
  auto touch = [&](char* c, bool ascii) {
    bool letter = ascii && *c >= 'a' && *c <= 'z';
    if (letter && (rule == RunCase::kUpper || word_start)) *c = static_cast<char>(*c - 32);
    word_start = ascii && *c == ' ';
  };
  std::string& t = *text;
  if (utf16) {
    for (size_t i = 0; i + 1 < t.size(); i += 2) touch(&t[i], t[i + 1] == 0 && static_cast<uint8_t>(t[i]) < 0x80);
    return;
  }
  for (size_t i = 0; i < t.size(); ++i) {
    if (IsLeadByte(code_page, static_cast<uint8_t>(t[i]))) {
      word_start = false;
      ++i;
      continue;
    }
    touch(&t[i], true);
  }
}

const MasterShape* FindMasterShape(const VsdSession& session, const ShapeItem& item) {
  if (!item.NamesMaster()) return nullptr;
  for (const Master& master : session.masters) {
    if (master.id != item.master_id) continue;
    for (const MasterShape& shape : master.shapes)
      if (shape.id == item.master_shape_id) return &shape;
    return nullptr;
  }
  return nullptr;
}

int32_t BuildShapeText(VsdSession& session, FieldFormatter& formatter, const PageContext& page,
                       uint32_t index, const PositionNode& position, ShapeState* shape) {
  if (!Place(session, position, true)) session.waiting.push_back(position);
  ShapeItem& item = session.items[index];
  const bool utf16 = IsUtf16Layout(session.version);
  const uint32_t code_page = session.ItemCodePage();
  MasterShape* master = const_cast<MasterShape*>(FindMasterShape(session, item));

  FieldContext context;
  context.session = &session;
  context.item = &item;
  context.master_shape = master;
  context.page_name = page.page_name;
  context.page_number = page.page_number;
  context.page_count = page.page_count;
  context.background_page_id = session.background_page_id;
  context.code_page = code_page;
  if (master != nullptr && IsOldLayout(session.version)) {
    for (const Master& m : session.masters) {
      if (m.id != item.master_id) continue;
      if (m.id < session.master_names.size() && session.master_names[m.id] < session.names.size())
        context.master_name = session.names[session.master_names[m.id]];
    }
  }

  if (IsOldLayout(session.version)) {
    const std::string* text = shape->text ? &*shape->text : nullptr;
    std::vector<FieldRecord>* fields = &shape->fields;
    const std::vector<FormatString>* formats = &shape->format_strings;
    if (text == nullptr) {
      if (master == nullptr || !master->keeps_text) return 0;
      text = &master->text;
      if (fields->empty()) fields = &master->fields;
      if (formats->empty()) formats = &master->format_strings;
    }
    context.fields = fields;
    context.format_strings = formats;
    std::string out;
    for (size_t i = 0; i < text->size(); ++i) {
      uint8_t b = static_cast<uint8_t>((*text)[i]);
      if (b == 0x1E) {
        if (i + 3 >= text->size()) break;  // a cut field code
        uint8_t code[3] = {static_cast<uint8_t>((*text)[i + 1]), static_cast<uint8_t>((*text)[i + 2]),
                           static_cast<uint8_t>((*text)[i + 3])};
        std::string value;
        if (int32_t rc = formatter.FormatCode(context, code, &value)) return rc;
        out += value;
        i += 3;
      } else if (IsLeadByte(code_page, b) && i + 1 < text->size()) {
        out.append(*text, i, 2);
        ++i;
      } else {
        out.push_back(static_cast<char>(b));
      }
    }
    if (!out.empty()) item.built_text = std::move(out);
    return 0;
  }

  const bool own_fields = !shape->fields.empty();
  const bool master_fields = master != nullptr && !master->fields.empty();
  if (!shape->text && !own_fields && !master_fields) return 0;
  if ((!own_fields && !master_fields) || shape->own_empty_field_list) {
    if (shape->text && !shape->text->empty()) item.built_text = ApplyRuns(item, *shape->text, utf16, code_page);
    return 0;
  }
  if (!shape->has_field_list && master_fields) {
    FieldContext master_context = context;
    master_context.item = nullptr;
    master_context.fields = &master->fields;
    master_context.format_strings = &master->format_strings;
    if (!master->fields_formatted) {
      for (FieldRecord& record : master->fields)
        if (int32_t rc = FieldValue(formatter, master_context, &record)) return rc;
      master->fields_formatted = true;
    }
    std::string out = ReplaceMarks(master->text, utf16, code_page, [&](size_t k) {
      return k < master->fields.size() ? master->fields[k].value_text : std::string();
    });
    if (!out.empty()) item.built_text = std::move(out);
    return 0;
  }
  context.fields = &shape->fields;
  context.format_strings = &shape->format_strings;
  for (FieldRecord& record : shape->fields)
    if (int32_t rc = FieldValue(formatter, context, &record)) return rc;
  const std::string* text = shape->text ? &*shape->text : nullptr;
  if (text == nullptr && master != nullptr && master->keeps_text && !master->plain) text = &master->text;
  if (text == nullptr) return 0;
  std::string out = ReplaceMarks(*text, utf16, code_page, [&](size_t k) {
    if (k >= shape->field_ids.size()) return std::string();
    uint64_t record = uint64_t{shape->field_ids[k]} - shape->field_base;
    if (record >= shape->fields.size()) return std::string();
    return FieldCase(shape->fields[record], utf16, code_page);
  });
  if (!out.empty()) item.built_text = std::move(out);
  return 0;
}

int32_t WritePage(VsdSession& session, VsdSink& sink, const PageContext& page) {
  const uint32_t code_page = session.ItemCodePage();
  if (int32_t rc = sink.PageReached(page.page_number)) return rc;
  if (session.pages_written++ > 0)
    if (int32_t rc = sink.LineBreak()) return rc;
  TextRef name{page.page_name, code_page};
  if (int32_t rc = sink.PageName(name)) return rc;
  if (int32_t rc = sink.LineBreak()) return rc;
  if (int32_t rc = sink.HeaderFooter(session, name)) return rc;

  // Waiting shapes join once each, in the order they began waiting.
  std::vector<PositionNode> waiting = std::move(session.waiting);
  session.waiting.clear();
  for (const PositionNode& node : waiting) Place(session, node, false);

  // Tree order: a shape, its children, then its next sibling.
  std::vector<int32_t> stack;
  if (session.tree_first >= 0) stack.push_back(session.tree_first);
  while (!stack.empty()) {
    int32_t n = stack.back();
    stack.pop_back();
    const PositionNode node = session.tree[n];
    if (node.next >= 0) stack.push_back(node.next);
    if (node.first_child >= 0) stack.push_back(node.first_child);
    ShapeItem& item = session.items[node.item];
    if (!(item.flags & kItemEmptyText)) {
      if (item.flags & kItemHasObject) {
        bool taken = false;
        int32_t rc = sink.EmbeddedObject(item.object_path, &taken);
        if (taken) {
          item.object_path.clear();
          item.flags &= ~kItemHasObject;
        }
        if (rc) return rc;
      } else if (item.built_text) {
        if (int32_t rc = sink.ShapeText({*item.built_text, code_page})) return rc;
        if (int32_t rc = sink.LineBreak()) return rc;
      } else if (item.type != 70) {
        const MasterShape* master = FindMasterShape(session, item);
        if (master != nullptr && master->plain && master->keeps_text) {
          if (int32_t rc = sink.MasterText({master->text, code_page})) return rc;
          if (int32_t rc = sink.LineBreak()) return rc;
        }
      }
    }
    if (!item.data_text.empty()) {
      if (int32_t rc = sink.DataText({item.data_text, code_page})) return rc;
      if (int32_t rc = sink.LineBreak()) return rc;
    }
  }

  if (IsUtf16Layout(session.version)) {
    for (const Annotation& note : session.annotations) {
      if (int32_t rc = sink.Annotation(note.date, note.text)) return rc;
      if (int32_t rc = sink.LineBreak()) return rc;
    }
  }
  return 0;
}

void VsdSession::ReleasePage() {
  for (ShapeItem& item : items)
    if (!item.object_path.empty()) KVB_ASC_remove(item.object_path.c_str());
  items.clear();
  tree.clear();
  tree_first = -1;
  waiting.clear();
  annotations.clear();
}

void VsdSession::ResetForTextPass() {
  ReleasePage();
  masters.clear();
  page_count = 0;
  page_counter = 0;
  pages_written = 0;
  walked_parts.clear();
  stats = WalkStats{};
}

}  // namespace glyphane
