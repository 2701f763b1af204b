// Tag: one open XML element and its small state machine.
#ifndef VANTREL_ZELTOOLS_XML_TAG_H
#define VANTREL_ZELTOOLS_XML_TAG_H

#include <map>
#include <string>

#include "zeltools/xml/Ostream.h"

namespace ZelTools {
namespace Xml {

// ---------------------------------------------------------------------------
// One open element, from construction to destruction.
//
// Created by the writer's user, as a child of the current element or as the
// document's root; destroyed by the same user, innermost first, before the
// writer. Its counters count finished periods: the start tag is still open
// exactly while `subs` and `texts` are both 0.
//
//   Start --attribute--> InAttribute --attribute--> InAttribute
//   any --text--> InText     any --child or section--> InSub
//   any --destruction--> closed
class Tag {
 public:
  // Opens element `name`. Throws Error "multi root tree" for a second root,
  // Error when a section is open, InvalidIdentifier when names are checked.
  Tag(Ostream& stream, std::string const& name);
  Tag(Ostream& stream, char const* name);
  // Closes the element; never throws.
  ~Tag();
  Tag(Tag const&) = delete;
  Tag& operator=(Tag const&) = delete;

  // Starts attribute `attribute_name`; its value is then inserted into the
  // writer. Throws Error after text or a child, MultiplyDefined for a
  // repeated name when names are checked.
  void attribute(char const* const& attribute_name);

  std::string const& tag_name() const { return name; }
  Tag* parent_tag() const { return parent; }
  int attributes_done() const { return attributes; }
  int subs_done() const { return subs; }
  int texts_done() const { return texts; }
  Indent const& tag_indent() const { return indent; }

  struct State {
    virtual ~State() = default;
    virtual bool accepts_attribute() const { return false; }
    virtual void leave(Tag& tag) = 0;
  };
  struct InAttribute : State {
    bool accepts_attribute() const override { return true; }
    void leave(Tag& tag) override;
  };
  struct InText : State {
    void leave(Tag& tag) override;
  };
  struct InSub : State {
    void leave(Tag& tag) override;
  };

 private:
  friend class Ostream;
  friend class Section;

  // The work of the constructors once the name is copied.
  void open();
  // Leaves the current state (running its leave) and enters `next`, which
  // may be null for "closed".
  void change_state(State* next);
  // Moves the element to InSub and lets the writer close its start tag, as
  // the opening of a child element or section requires.
  void enter_sub();
  // The work of leaving each state: close what was open and count it.
  void end_attribute();
  void end_text();
  void end_sub();

  std::string name;
  Tag* parent = nullptr;
  int attributes = 0;
  int subs = 0;
  int texts = 0;
  InAttribute in_attribute;
  InText in_text;
  InSub in_sub;
  Ostream& stream;
  State* state = nullptr;  // null is Start (and closed)
  std::map<std::string, int> attribute_names;
  Indent indent;
};

}  // namespace Xml
}  // namespace ZelTools

#endif  // VANTREL_ZELTOOLS_XML_TAG_H
