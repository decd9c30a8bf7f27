// XmlTextReader: reads an XML document held in memory node by node, in
// document order, with names and texts in UTF-16.
//
// The whole document is checked when it is opened: a document that is not
// well-formed anywhere, or that carries a document type declaration, does
// not open, so a reader never hands out the first half of a broken reply.
// Expat parses on POSIX, XmlLite (loaded at run time) on Windows; both give
// the same nodes:
// - one kElement per start tag (empty elements too) and one kEndElement per
//   end tag (an empty element gets one as well);
// - one kText for each run of character data, CDATA sections and white
//   space inside the root element, entities already replaced;
// - one kOther for each comment and processing instruction, which ends a
//   run of text;
// - nothing for the XML declaration or for white space outside the root.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace velmora {

enum class XmlNodeType { kElement, kEndElement, kText, kOther };

struct XmlNode {
  XmlNodeType type = XmlNodeType::kOther;
  std::u16string name;   // qualified element name as written (elements only)
  std::u16string value;  // text (kText only)
  int depth = 0;         // 0 for the root element
};

class XmlTextReader {
 public:
  // Parses the document; false when it is not well-formed XML, uses a DTD,
  // or the platform's parser is not available. The bytes are not kept.
  [[nodiscard]] bool Open(const void* data, std::size_t size);

  // Moves to the next node; false after the last one.
  [[nodiscard]] bool Read();
  const XmlNode& Node() const { return nodes_[current_]; }

 private:
  std::vector<XmlNode> nodes_;
  std::size_t current_ = 0;
  bool started_ = false;
};

namespace xml_internal {

// Collects nodes with the merging rules above; used by both parsers.
class XmlNodeBuilder {
 public:
  void StartElement(std::u16string name);
  void EndElement();
  void Text(std::u16string_view text);
  void Other();
  std::vector<XmlNode> Take() { return std::move(nodes_); }
  // Whether what was collected forms one complete root element with nothing
  // but white space, comments and processing instructions around it. The
  // parsers check this themselves; checking it here as well keeps a lenient
  // parser from handing out a broken document.
  bool IsComplete() const { return roots_ == 1 && depth_ == 0 && !stray_text_; }

 private:
  std::vector<XmlNode> nodes_;
  int depth_ = 0;
  int roots_ = 0;
  bool in_text_ = false;
  bool stray_text_ = false;
};

// The platform parser: fills `builder` from the document; false on any error.
bool ParseXmlDocument(const void* data, std::size_t size, XmlNodeBuilder* builder);

}  // namespace xml_internal
}  // namespace velmora
