// Stand-in for the MSXML DOM document reached through COM, over libxml2.
// It offers the few COM basics a client of the DOM document needs (class
// and interface ids, reference counting, creating a registered class,
// BSTR and VARIANT values, an exception for failed calls) and the DOM
// operations the library's MSXML front end uses: loading a document
// synchronously, walking its nodes, reading attributes and the error of a
// rejected load. Every object answers its interfaces through
// QueryInterface and lives until its last Release.
//
// libxml2 opens nothing itself: the document named by load and every DTD
// and external entity it names are read through the resource opener the
// host installs (without one, nothing can be read).
#pragma once

#include <cstdint>
#include <istream>
#include <utility>

#define MSXML_API __attribute__((visibility("default")))

using HRESULT = int32_t;
using ULONG = uint32_t;
using LONG = int32_t;
using VARIANT_BOOL = int16_t;
using VARTYPE = uint16_t;
// Length-prefixed UTF-16 text; the pointer is to the first character.
using BSTR = char16_t*;

inline constexpr VARIANT_BOOL VARIANT_TRUE = -1;
inline constexpr VARIANT_BOOL VARIANT_FALSE = 0;

inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT S_FALSE = 1;
inline constexpr HRESULT E_NOTIMPL = static_cast<HRESULT>(0x80004001u);
inline constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002u);
inline constexpr HRESULT E_POINTER = static_cast<HRESULT>(0x80004003u);
inline constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
inline constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);
inline constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);
inline constexpr HRESULT CLASS_E_NOAGGREGATION = static_cast<HRESULT>(0x80040110u);
inline constexpr HRESULT REGDB_E_CLASSNOTREG = static_cast<HRESULT>(0x80040154u);
inline constexpr bool FAILED(HRESULT hr) { return hr < 0; }
inline constexpr bool SUCCEEDED(HRESULT hr) { return hr >= 0; }

struct GUID {
  uint32_t data1;
  uint16_t data2;
  uint16_t data3;
  uint8_t data4[8];
  friend constexpr bool operator==(const GUID& a, const GUID& b) {
    if (a.data1 != b.data1 || a.data2 != b.data2 || a.data3 != b.data3) return false;
    for (int i = 0; i < 8; ++i)
      if (a.data4[i] != b.data4[i]) return false;
    return true;
  }
};
using IID = GUID;
using CLSID = GUID;

inline constexpr IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_IXMLDOMDocument2 = {0x2933BF95, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};
inline constexpr IID IID_IXMLDOMDocument = {0x2933BF81, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};
inline constexpr IID IID_IXMLDOMNode = {0x2933BF80, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};
inline constexpr IID IID_IXMLDOMNamedNodeMap = {0x2933BF83, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};
inline constexpr IID IID_IXMLDOMAttribute = {0x2933BF85, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};
inline constexpr IID IID_IXMLDOMParseError = {0x3EFAA426, 0x272F, 0x11D2, {0x83, 0x6F, 0x00, 0x00, 0xF8, 0x7A, 0x77, 0x82}};

// The DOM document classes the registry knows (their free-threaded
// variants are not registered).
inline constexpr CLSID CLSID_DOMDocument40 = {0x88D969C1, 0xF192, 0x11D4, {0xA6, 0x5F, 0x00, 0x40, 0x96, 0x32, 0x51, 0xE5}};
inline constexpr CLSID CLSID_DOMDocument30 = {0xF5078F33, 0xC551, 0x11D3, {0x89, 0xB9, 0x00, 0x00, 0xF8, 0x1F, 0xE2, 0x21}};

// Class contexts: in-process server, in-process handler, local server.
inline constexpr uint32_t CLSCTX_INPROC_SERVER = 1;
inline constexpr uint32_t CLSCTX_INPROC_HANDLER = 2;
inline constexpr uint32_t CLSCTX_LOCAL_SERVER = 4;

enum VARENUM : VARTYPE { VT_EMPTY = 0, VT_NULL = 1, VT_BSTR = 8, VT_BOOL = 11 };

struct VARIANT {
  VARTYPE vt;
  union {
    BSTR bstrVal;
    VARIANT_BOOL boolVal;
  };
};

enum DOMNodeType : int32_t {
  NODE_INVALID = 0,
  NODE_ELEMENT = 1,
  NODE_ATTRIBUTE = 2,
  NODE_TEXT = 3,
  NODE_CDATA_SECTION = 4,
  NODE_ENTITY_REFERENCE = 5,
  NODE_ENTITY = 6,
  NODE_PROCESSING_INSTRUCTION = 7,
  NODE_COMMENT = 8,
  NODE_DOCUMENT = 9,
  NODE_DOCUMENT_TYPE = 10,
  NODE_DOCUMENT_FRAGMENT = 11,
  NODE_NOTATION = 12,
};

class IUnknown {
 public:
  virtual HRESULT QueryInterface(const IID& iid, void** object) = 0;
  virtual ULONG AddRef() = 0;
  virtual ULONG Release() = 0;

 protected:
  ~IUnknown() = default;
};

class IXMLDOMNamedNodeMap;

class IXMLDOMNode : public IUnknown {
 public:
  virtual HRESULT get_nodeType(DOMNodeType* type) = 0;
  // Text, CDATA, comment and attribute values, a processing instruction's
  // data; VT_NULL for every other node.
  virtual HRESULT get_nodeValue(VARIANT* value) = 0;
  // Each answers S_FALSE with a null node when there is none.
  virtual HRESULT get_parentNode(IXMLDOMNode** parent) = 0;
  virtual HRESULT get_firstChild(IXMLDOMNode** child) = 0;
  virtual HRESULT get_nextSibling(IXMLDOMNode** sibling) = 0;
  virtual HRESULT hasChildNodes(VARIANT_BOOL* has) = 0;
  // An element's attributes; S_FALSE with null for other nodes.
  virtual HRESULT get_attributes(IXMLDOMNamedNodeMap** map) = 0;
  virtual HRESULT get_baseName(BSTR* name) = 0;
  virtual HRESULT get_prefix(BSTR* prefix) = 0;
  virtual HRESULT get_namespaceURI(BSTR* uri) = 0;

 protected:
  ~IXMLDOMNode() = default;
};

class IXMLDOMAttribute : public IXMLDOMNode {
 public:
  virtual HRESULT get_value(VARIANT* value) = 0;

 protected:
  ~IXMLDOMAttribute() = default;
};

class IXMLDOMNamedNodeMap : public IUnknown {
 public:
  virtual HRESULT reset() = 0;
  // S_FALSE with null after the last node.
  virtual HRESULT nextNode(IXMLDOMNode** node) = 0;

 protected:
  ~IXMLDOMNamedNodeMap() = default;
};

class IXMLDOMParseError : public IUnknown {
 public:
  virtual HRESULT get_reason(BSTR* reason) = 0;
  virtual HRESULT get_line(LONG* line) = 0;
  virtual HRESULT get_linepos(LONG* column) = 0;

 protected:
  ~IXMLDOMParseError() = default;
};

class IXMLDOMDocument : public IXMLDOMNode {
 public:
  virtual HRESULT get_documentElement(IXMLDOMNode** element) = 0;
  virtual HRESULT put_async(VARIANT_BOOL async) = 0;
  virtual HRESULT put_preserveWhiteSpace(VARIANT_BOOL preserve) = 0;
  virtual HRESULT put_validateOnParse(VARIANT_BOOL validate) = 0;
  virtual HRESULT put_resolveExternals(VARIANT_BOOL resolve) = 0;
  // Loads the document named by a VT_BSTR source; *ok is VARIANT_FALSE
  // (and the call S_FALSE) when the document is rejected.
  virtual HRESULT load(VARIANT source, VARIANT_BOOL* ok) = 0;
  virtual HRESULT get_parseError(IXMLDOMParseError** error) = 0;

 protected:
  ~IXMLDOMDocument() = default;
};

class IXMLDOMDocument2 : public IXMLDOMDocument {
 public:
  virtual HRESULT setProperty(BSTR name, VARIANT value) = 0;

 protected:
  ~IXMLDOMDocument2() = default;
};

extern "C" {
MSXML_API HRESULT CoCreateInstance(const CLSID& clsid, IUnknown* outer, uint32_t context, const IID& iid,
                                   void** object);
MSXML_API HRESULT OleRun(IUnknown* object);

MSXML_API BSTR SysAllocString(const char16_t* text);
MSXML_API BSTR SysAllocStringLen(const char16_t* text, uint32_t length);
MSXML_API uint32_t SysStringLen(BSTR text);
MSXML_API void SysFreeString(BSTR text);

MSXML_API void VariantInit(VARIANT* value);
MSXML_API HRESULT VariantClear(VARIANT* value);

// The description the last failed call left on this thread (null when it
// left none); the caller frees it and the thread's record is emptied.
MSXML_API BSTR TakeErrorDescription();

// How the host reads resources. `kind` is MSXML_RESOURCE_DOCUMENT for the
// document load names, MSXML_RESOURCE_EXTERNAL for a DTD or external
// entity. A null stream with *refused set means the host's loading rules
// keep the resource out (the load goes on without it); without *refused it
// could not be read. The caller deletes the stream.
enum MsxmlResourceKind : int32_t { MSXML_RESOURCE_DOCUMENT = 0, MSXML_RESOURCE_EXTERNAL = 1 };
using MsxmlResourceOpener = std::istream* (*)(const char16_t* uri, int32_t length, MsxmlResourceKind kind,
                                              bool* refused);
MSXML_API void MsxmlSetResourceOpener(MsxmlResourceOpener opener);

// Test hooks. Creating `clsid` fails at `step` (1 CoCreateInstance, 2
// OleRun, 3 QueryInterface for IXMLDOMDocument2; 0 stops failing). Every
// call of the operation named `method` ("load", "get_line", ...) fails
// with `hr` and leaves `description` (null: none) until it is named again
// with S_OK. MsxmlTestReset clears every hook.
MSXML_API void MsxmlTestFailCreation(const CLSID& clsid, int32_t step);
MSXML_API void MsxmlTestFailCall(const char* method, HRESULT hr, const char16_t* description);
MSXML_API void MsxmlTestReset();
}

// A failed COM call: its result and the description it left.
class ComError {
 public:
  ComError(HRESULT hr, BSTR description) : m_hr(hr), m_description(description) {}
  ComError(const ComError& other)
      : m_hr(other.m_hr), m_description(SysAllocStringLen(other.m_description, SysStringLen(other.m_description))) {}
  ComError& operator=(const ComError&) = delete;
  ~ComError() { SysFreeString(m_description); }
  HRESULT Error() const { return m_hr; }
  // Null when the call left no description.
  BSTR Description() const { return m_description; }

 private:
  HRESULT m_hr;
  BSTR m_description;
};

// Throws ComError for a failed result, with the thread's description.
inline HRESULT ComCheck(HRESULT hr) {
  if (FAILED(hr)) throw ComError(hr, TakeErrorDescription());
  return hr;
}

// An owning interface pointer: assigning releases the interface held
// before and adds a reference to the new one; call() raises ComError.
template <class I>
class ComPtr {
 public:
  ComPtr() = default;
  ComPtr(I* p) : m_p(p) {
    if (m_p) m_p->AddRef();
  }
  ComPtr(const ComPtr& other) : ComPtr(other.m_p) {}
  ~ComPtr() { Release(); }
  ComPtr& operator=(const ComPtr& other) { return *this = other.m_p; }
  ComPtr& operator=(I* p) {
    if (p) p->AddRef();
    Release();
    m_p = p;
    return *this;
  }
  void Release() {
    if (m_p) std::exchange(m_p, nullptr)->Release();
  }
  // Takes over a reference the caller already holds.
  void Attach(I* p) {
    Release();
    m_p = p;
  }
  // For out parameters: releases the old interface first.
  I** operator&() {
    Release();
    return &m_p;
  }
  I* operator->() const { return m_p; }
  I* get() const { return m_p; }
  explicit operator bool() const { return m_p != nullptr; }

  template <class M, class... A>
  HRESULT call(M method, A&&... args) const {
    if (m_p == nullptr) throw ComError(E_POINTER, nullptr);
    return ComCheck((m_p->*method)(std::forward<A>(args)...));
  }
  // QueryInterface into another smart pointer; raises ComError.
  template <class J>
  void queryInto(const IID& iid, ComPtr<J>& target) const {
    void* out = nullptr;
    call(&I::QueryInterface, iid, &out);
    target.Attach(static_cast<J*>(out));
  }

 private:
  I* m_p = nullptr;
};

// An owned BSTR.
class ComBstr {
 public:
  ComBstr() = default;
  explicit ComBstr(const char16_t* text) : m_text(SysAllocString(text)) {}
  ~ComBstr() { SysFreeString(m_text); }
  ComBstr(const ComBstr&) = delete;
  ComBstr& operator=(const ComBstr&) = delete;
  BSTR* operator&() {
    SysFreeString(m_text);
    m_text = nullptr;
    return &m_text;
  }
  BSTR get() const { return m_text; }
  uint32_t length() const { return SysStringLen(m_text); }

 private:
  BSTR m_text = nullptr;
};
