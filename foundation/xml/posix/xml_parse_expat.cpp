// The document parser on POSIX: Expat, fed the whole document at once.
#include <expat.h>

#include <climits>

#include "foundation/text/utf.h"
#include "foundation/xml/xml_text_reader.h"

namespace velmora::xml_internal {
namespace {

struct ParseState {
  XML_Parser parser;
  XmlNodeBuilder* builder;
  bool refused = false;
};

void XMLCALL OnStart(void* user, const XML_Char* name, const XML_Char**) {
  static_cast<ParseState*>(user)->builder->StartElement(Utf8ToUtf16(name));
}

void XMLCALL OnEnd(void* user, const XML_Char*) {
  static_cast<ParseState*>(user)->builder->EndElement();
}

void XMLCALL OnText(void* user, const XML_Char* text, int length) {
  static_cast<ParseState*>(user)->builder->Text(
      Utf8ToUtf16(std::string_view(text, static_cast<std::size_t>(length))));
}

void XMLCALL OnComment(void* user, const XML_Char*) {
  static_cast<ParseState*>(user)->builder->Other();
}

void XMLCALL OnProcessingInstruction(void* user, const XML_Char*, const XML_Char*) {
  static_cast<ParseState*>(user)->builder->Other();
}

// Replies never need a DTD, and refusing one rules out entity tricks.
void XMLCALL OnDoctype(void* user, const XML_Char*, const XML_Char*, const XML_Char*, int) {
  auto* state = static_cast<ParseState*>(user);
  state->refused = true;
  XML_StopParser(state->parser, XML_FALSE);
}

}  // namespace

bool ParseXmlDocument(const void* data, std::size_t size, XmlNodeBuilder* builder) {
  if (size > static_cast<std::size_t>(INT_MAX)) return false;
  XML_Parser parser = XML_ParserCreate(nullptr);
  if (!parser) return false;
  ParseState state{parser, builder};
  XML_SetUserData(parser, &state);
  XML_SetElementHandler(parser, &OnStart, &OnEnd);
  XML_SetCharacterDataHandler(parser, &OnText);
  XML_SetCommentHandler(parser, &OnComment);
  XML_SetProcessingInstructionHandler(parser, &OnProcessingInstruction);
  XML_SetStartDoctypeDeclHandler(parser, &OnDoctype);
  const XML_Status status =
      XML_Parse(parser, static_cast<const char*>(data), static_cast<int>(size), XML_TRUE);
  XML_ParserFree(parser);
  return status == XML_STATUS_OK && !state.refused;
}

}  // namespace velmora::xml_internal
