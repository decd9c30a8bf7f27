// The document parser on Windows: XmlLite. The import library is not part
// of every toolchain, so xmllite.dll is loaded on first use.
#include <windows.h>
#include <objidl.h>
#include <shlwapi.h>
#include <xmllite.h>

#include <mutex>

#include "foundation/xml/xml_text_reader.h"

namespace velmora::xml_internal {
namespace {

using CreateXmlReaderFunction = HRESULT(WINAPI*)(REFIID, void**, IMalloc*);

CreateXmlReaderFunction LoadCreateXmlReader() {
  static std::once_flag once;
  static CreateXmlReaderFunction function = nullptr;
  std::call_once(once, [] {
    if (HMODULE library = ::LoadLibraryW(L"xmllite.dll")) {
      function = reinterpret_cast<CreateXmlReaderFunction>(
          reinterpret_cast<void*>(::GetProcAddress(library, "CreateXmlReader")));
    }
  });
  return function;
}

template <typename T>
struct ComRelease {
  T* object = nullptr;
  ~ComRelease() {
    if (object) object->Release();
  }
};

std::u16string_view AsView(const WCHAR* text, UINT length) {
  return {reinterpret_cast<const char16_t*>(text), length};
}

}  // namespace

bool ParseXmlDocument(const void* data, std::size_t size, XmlNodeBuilder* builder) {
  const CreateXmlReaderFunction create = LoadCreateXmlReader();
  if (!create || size > 0x7fffffffu) return false;
  ComRelease<IStream> stream{::SHCreateMemStream(static_cast<const BYTE*>(data),
                                                 static_cast<UINT>(size))};
  if (!stream.object) return false;
  ComRelease<IXmlReader> reader;
  if (FAILED(create(__uuidof(IXmlReader), reinterpret_cast<void**>(&reader.object), nullptr)))
    return false;
  // Replies never need a DTD, and refusing one rules out entity tricks.
  if (FAILED(reader.object->SetProperty(XmlReaderProperty_DtdProcessing, DtdProcessing_Prohibit)) ||
      FAILED(reader.object->SetInput(stream.object)))
    return false;

  ::XmlNodeType type;  // XmlLite's node type, not ours
  // Every node consumes input, so a document cannot hold more nodes than it
  // has bytes; a reader that keeps going past that is stuck.
  for (std::size_t budget = size + 16;; --budget) {
    const HRESULT result = reader.object->Read(&type);
    if (result == S_FALSE) break;
    if (FAILED(result) || result != S_OK || type == XmlNodeType_None || budget == 0) return false;
    const WCHAR* text = nullptr;
    UINT length = 0;
    switch (type) {
      case XmlNodeType_Element: {
        if (FAILED(reader.object->GetQualifiedName(&text, &length))) return false;
        builder->StartElement(std::u16string(AsView(text, length)));
        if (reader.object->IsEmptyElement()) builder->EndElement();
        break;
      }
      case XmlNodeType_EndElement:
        builder->EndElement();
        break;
      case XmlNodeType_Text:
      case XmlNodeType_CDATA:
      case XmlNodeType_Whitespace:
        if (FAILED(reader.object->GetValue(&text, &length))) return false;
        builder->Text(AsView(text, length));
        break;
      case XmlNodeType_Comment:
      case XmlNodeType_ProcessingInstruction:
        builder->Other();
        break;
      default:  // the XML declaration
        break;
    }
  }
  return true;
}

}  // namespace velmora::xml_internal
