#include "foundation/xml/xml_text_reader.h"

#include <utility>

namespace velmora {
namespace xml_internal {

void XmlNodeBuilder::StartElement(std::u16string name) {
  XmlNode node;
  node.type = XmlNodeType::kElement;
  node.name = std::move(name);
  if (depth_ == 0) ++roots_;
  node.depth = depth_++;
  nodes_.push_back(std::move(node));
  in_text_ = false;
}

void XmlNodeBuilder::EndElement() {
  if (depth_ == 0) {
    stray_text_ = true;  // an end without a start
    return;
  }
  XmlNode node;
  node.type = XmlNodeType::kEndElement;
  node.depth = --depth_;
  nodes_.push_back(std::move(node));
  in_text_ = false;
}

void XmlNodeBuilder::Text(std::u16string_view text) {
  if (depth_ == 0) {
    // Only white space may stand outside the root element.
    for (const char16_t unit : text)
      if (unit != u' ' && unit != u'\t' && unit != u'\r' && unit != u'\n') stray_text_ = true;
    return;
  }
  if (!in_text_) {
    XmlNode node;
    node.type = XmlNodeType::kText;
    node.depth = depth_;
    nodes_.push_back(std::move(node));
    in_text_ = true;
  }
  nodes_.back().value.append(text);
}

void XmlNodeBuilder::Other() {
  XmlNode node;
  node.type = XmlNodeType::kOther;
  node.depth = depth_;
  nodes_.push_back(std::move(node));
  in_text_ = false;
}

}  // namespace xml_internal

bool XmlTextReader::Open(const void* data, std::size_t size) {
  nodes_.clear();
  current_ = 0;
  started_ = false;
  if (!data || size == 0) return false;
  xml_internal::XmlNodeBuilder builder;
  if (!xml_internal::ParseXmlDocument(data, size, &builder) || !builder.IsComplete())
    return false;
  nodes_ = builder.Take();
  return true;
}

bool XmlTextReader::Read() {
  if (!started_) {
    started_ = true;
    current_ = 0;
  } else if (current_ < nodes_.size()) {
    ++current_;
  }
  return current_ < nodes_.size();
}

}  // namespace velmora
