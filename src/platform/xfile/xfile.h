// The .X data-object service: registers templates and enumerates the data objects of a
// .X file (text, binary, and both MSZIP-compressed forms) from memory or from disk.
//
// Objects handed out are reference counted (AddRef/Release). Every object of one parsed
// file shares one document: the document lives as long as any of its objects or the
// enumerator does.
//
// Where this service stops (xfile_writer.h is the other way, for the tools and tests):
// Done:
//  - The four forms (txt, bin, tzip, bzip) of format version 03xx with 32- or 64-bit
//    floats, read from memory or from a file on disk; compressed forms as MSZIP blocks.
//  - Templates from the file itself, from RegisterTemplates (any form) and built in (the
//    standard templates, also as text and as the binary image the program registers, and
//    the skinning and vertex-data extensions).
//  - Top-level data objects in file order or found by name or id; children as data
//    objects and as references resolved by name or id; names, ids and template GUIDs.
//  - GetData of the whole object or of one top-level member, laid out by the template:
//    arrays sized by earlier members or constants, nested structures, strings as pointers,
//    64-bit file floats narrowed to FLOAT.
// Partly:
//  - A parse error does not fail CreateEnumObject: the objects before it enumerate, and
//    the error comes back when the enumeration reaches the damaged object.
//  - An object whose template is declared nowhere has GUID_NULL as its type and no data,
//    but its children can still be walked.
//  - Restrictions of templates are kept but not enforced on children;
//    UNICODE and CSTRING members are read as plain strings.
//  - Nesting is bounded (64 objects, 32 template levels deep); deeper is
//    DXFILEERR_BADOBJECT.
// Left out: binary objects (IDirectXFileBinary is declared, but no file yields one),
//  loading from resources or URLs (only DXFILELOAD_FROMFILE and DXFILELOAD_FROMMEMORY),
//  and the save-object interface (writing goes through xfile::Writer).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "platform/win32/win32_types.h"

namespace xfile {

using win32::BYTE;
using win32::DWORD;
using win32::HRESULT;
using win32::WORD;

struct GUID {
  DWORD Data1;
  WORD Data2;
  WORD Data3;
  BYTE Data4[8];
};
inline bool operator==(const GUID& a, const GUID& b) { return std::memcmp(&a, &b, sizeof(GUID)) == 0; }
inline bool operator!=(const GUID& a, const GUID& b) { return !(a == b); }
using REFGUID = const GUID&;
inline constexpr GUID GUID_NULL = {0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};

// Result codes (facility 0x876, as the DirectX file service numbers them).
constexpr HRESULT MakeFileError(unsigned code) { return static_cast<HRESULT>(0x88760000u | code); }
constexpr HRESULT DXFILE_OK = 0;
constexpr HRESULT DXFILEERR_BADOBJECT = MakeFileError(850);
constexpr HRESULT DXFILEERR_BADVALUE = MakeFileError(851);
constexpr HRESULT DXFILEERR_BADTYPE = MakeFileError(852);
constexpr HRESULT DXFILEERR_BADALLOC = MakeFileError(854);
constexpr HRESULT DXFILEERR_NOTFOUND = MakeFileError(855);
constexpr HRESULT DXFILEERR_FILENOTFOUND = MakeFileError(857);
constexpr HRESULT DXFILEERR_BADFILETYPE = MakeFileError(861);
constexpr HRESULT DXFILEERR_BADFILEVERSION = MakeFileError(862);
constexpr HRESULT DXFILEERR_BADFILEFLOATSIZE = MakeFileError(863);
constexpr HRESULT DXFILEERR_BADFILECOMPRESSIONTYPE = MakeFileError(864);
constexpr HRESULT DXFILEERR_BADFILE = MakeFileError(865);
constexpr HRESULT DXFILEERR_PARSEERROR = MakeFileError(866);
constexpr HRESULT DXFILEERR_NOTEMPLATE = MakeFileError(867);
constexpr HRESULT DXFILEERR_BADARRAYSIZE = MakeFileError(868);
constexpr HRESULT DXFILEERR_BADDATAREFERENCE = MakeFileError(869);
constexpr HRESULT DXFILEERR_NOMOREOBJECTS = MakeFileError(871);
constexpr HRESULT DXFILEERR_NOMOREDATA = MakeFileError(874);

// Load options of CreateEnumObject.
constexpr DWORD DXFILELOAD_FROMFILE = 0;
constexpr DWORD DXFILELOAD_FROMMEMORY = 2;

struct DXFILELOADMEMORY {
  const void* lpMemory;
  DWORD dSize;
};

// Template identifiers of the standard templates and the skinning extensions.
inline constexpr GUID TID_D3DRMHeader = {0x3D82AB43, 0x62DA, 0x11CF, {0xAB, 0x39, 0x00, 0x20, 0xAF, 0x71, 0xE4, 0x33}};
inline constexpr GUID TID_D3DRMVector = {0x3D82AB5E, 0x62DA, 0x11CF, {0xAB, 0x39, 0x00, 0x20, 0xAF, 0x71, 0xE4, 0x33}};
inline constexpr GUID TID_D3DRMCoords2d = {0xF6F23F44, 0x7686, 0x11CF, {0x8F, 0x52, 0x00, 0x40, 0x33, 0x35, 0x94, 0xA3}};
inline constexpr GUID TID_D3DRMMatrix4x4 = {0xF6F23F45, 0x7686, 0x11CF, {0x8F, 0x52, 0x00, 0x40, 0x33, 0x35, 0x94, 0xA3}};
inline constexpr GUID TID_D3DRMColorRGBA = {0x35FF44E0, 0x6C7C, 0x11CF, {0x8F, 0x52, 0x00, 0x40, 0x33, 0x35, 0x94, 0xA3}};
inline constexpr GUID TID_D3DRMColorRGB = {0xD3E16E81, 0x7835, 0x11CF, {0x8F, 0x52, 0x00, 0x40, 0x33, 0x35, 0x94, 0xA3}};
inline constexpr GUID TID_D3DRMIndexedColor = {0x1630B820, 0x7842, 0x11CF, {0x8F, 0x52, 0x00, 0x40, 0x33, 0x35, 0x94, 0xA3}};
inline constexpr GUID TID_D3DRMBoolean = {0x4885AE61, 0x78E8, 0x11CF, {0x8F, 0x52, 0x00, 0x40, 0x33, 0x35, 0x94, 0xA3}};
inline constexpr GUID TID_D3DRMBoolean2d = {0x4885AE63, 0x78E8, 0x11CF, {0x8F, 0x52, 0x00, 0x40, 0x33, 0x35, 0x94, 0xA3}};
inline constexpr GUID TID_D3DRMMaterialWrap = {0x4885AE60, 0x78E8, 0x11CF, {0x8F, 0x52, 0x00, 0x40, 0x33, 0x35, 0x94, 0xA3}};
inline constexpr GUID TID_D3DRMTextureFilename = {0xA42790E1, 0x7810, 0x11CF, {0x8F, 0x52, 0x00, 0x40, 0x33, 0x35, 0x94, 0xA3}};
inline constexpr GUID TID_D3DRMMaterial = {0x3D82AB4D, 0x62DA, 0x11CF, {0xAB, 0x39, 0x00, 0x20, 0xAF, 0x71, 0xE4, 0x33}};
inline constexpr GUID TID_D3DRMMeshFace = {0x3D82AB5F, 0x62DA, 0x11CF, {0xAB, 0x39, 0x00, 0x20, 0xAF, 0x71, 0xE4, 0x33}};
inline constexpr GUID TID_D3DRMMeshFaceWraps = {0x4885AE62, 0x78E8, 0x11CF, {0x8F, 0x52, 0x00, 0x40, 0x33, 0x35, 0x94, 0xA3}};
inline constexpr GUID TID_D3DRMMeshTextureCoords = {0xF6F23F40, 0x7686, 0x11CF, {0x8F, 0x52, 0x00, 0x40, 0x33, 0x35, 0x94, 0xA3}};
inline constexpr GUID TID_D3DRMMeshMaterialList = {0xF6F23F42, 0x7686, 0x11CF, {0x8F, 0x52, 0x00, 0x40, 0x33, 0x35, 0x94, 0xA3}};
inline constexpr GUID TID_D3DRMMeshNormals = {0xF6F23F43, 0x7686, 0x11CF, {0x8F, 0x52, 0x00, 0x40, 0x33, 0x35, 0x94, 0xA3}};
inline constexpr GUID TID_D3DRMMeshVertexColors = {0x1630B821, 0x7842, 0x11CF, {0x8F, 0x52, 0x00, 0x40, 0x33, 0x35, 0x94, 0xA3}};
inline constexpr GUID TID_D3DRMMesh = {0x3D82AB44, 0x62DA, 0x11CF, {0xAB, 0x39, 0x00, 0x20, 0xAF, 0x71, 0xE4, 0x33}};
inline constexpr GUID TID_D3DRMFrameTransformMatrix = {0xF6F23F41, 0x7686, 0x11CF, {0x8F, 0x52, 0x00, 0x40, 0x33, 0x35, 0x94, 0xA3}};
inline constexpr GUID TID_D3DRMFrame = {0x3D82AB46, 0x62DA, 0x11CF, {0xAB, 0x39, 0x00, 0x20, 0xAF, 0x71, 0xE4, 0x33}};
inline constexpr GUID TID_D3DRMFloatKeys = {0x10DD46A9, 0x775B, 0x11CF, {0x8F, 0x52, 0x00, 0x40, 0x33, 0x35, 0x94, 0xA3}};
inline constexpr GUID TID_D3DRMTimedFloatKeys = {0xF406B180, 0x7B3B, 0x11CF, {0x8F, 0x52, 0x00, 0x40, 0x33, 0x35, 0x94, 0xA3}};
inline constexpr GUID TID_D3DRMAnimationKey = {0x10DD46A8, 0x775B, 0x11CF, {0x8F, 0x52, 0x00, 0x40, 0x33, 0x35, 0x94, 0xA3}};
inline constexpr GUID TID_D3DRMAnimationOptions = {0xE2BF56C0, 0x840F, 0x11CF, {0x8F, 0x52, 0x00, 0x40, 0x33, 0x35, 0x94, 0xA3}};
inline constexpr GUID TID_D3DRMAnimation = {0x3D82AB4F, 0x62DA, 0x11CF, {0xAB, 0x39, 0x00, 0x20, 0xAF, 0x71, 0xE4, 0x33}};
inline constexpr GUID TID_D3DRMAnimationSet = {0x3D82AB50, 0x62DA, 0x11CF, {0xAB, 0x39, 0x00, 0x20, 0xAF, 0x71, 0xE4, 0x33}};
inline constexpr GUID TID_D3DRMInlineData = {0x3A23EEA0, 0x94B1, 0x11D0, {0xAB, 0x39, 0x00, 0x20, 0xAF, 0x71, 0xE4, 0x33}};
inline constexpr GUID TID_D3DRMUrl = {0x3A23EEA1, 0x94B1, 0x11D0, {0xAB, 0x39, 0x00, 0x20, 0xAF, 0x71, 0xE4, 0x33}};
inline constexpr GUID TID_D3DRMProgressiveMesh = {0x8A63C360, 0x997D, 0x11D0, {0x94, 0x1C, 0x00, 0x80, 0xC8, 0x0C, 0xFA, 0x7B}};
inline constexpr GUID TID_D3DRMGuid = {0xA42790E0, 0x7810, 0x11CF, {0x8F, 0x52, 0x00, 0x40, 0x33, 0x35, 0x94, 0xA3}};
inline constexpr GUID TID_D3DRMStringProperty = {0x7F0F21E0, 0xBFE1, 0x11D1, {0x82, 0xC0, 0x00, 0xA0, 0xC9, 0x69, 0x72, 0x71}};
inline constexpr GUID TID_D3DRMPropertyBag = {0x7F0F21E1, 0xBFE1, 0x11D1, {0x82, 0xC0, 0x00, 0xA0, 0xC9, 0x69, 0x72, 0x71}};
inline constexpr GUID TID_D3DRMExternalVisual = {0x98116AA0, 0xBDBA, 0x11D1, {0x82, 0xC0, 0x00, 0xA0, 0xC9, 0x69, 0x72, 0x71}};
inline constexpr GUID TID_D3DRMRightHanded = {0x7F5D5EA0, 0xD53A, 0x11D1, {0x82, 0xC0, 0x00, 0xA0, 0xC9, 0x69, 0x72, 0x71}};
inline constexpr GUID DXFILEOBJ_XSkinMeshHeader = {0x3CF169CE, 0xFF7C, 0x44AB, {0x93, 0xC0, 0xF7, 0x8F, 0x62, 0xD1, 0x72, 0xE2}};
inline constexpr GUID DXFILEOBJ_VertexDuplicationIndices = {0xB8D65549, 0xD7C9, 0x4995, {0x89, 0xCF, 0x53, 0xA9, 0xA8, 0xB0, 0x31, 0xE3}};
inline constexpr GUID DXFILEOBJ_SkinWeights = {0x6F0D123B, 0xBAD2, 0x4167, {0xA0, 0xD0, 0x80, 0x22, 0x4F, 0x25, 0xFA, 0xBB}};

class IDirectXFileData;
class IDirectXFileDataReference;
class IDirectXFileBinary;

// Base of everything handed out: reference counting and the name/id of an object.
class IDirectXFileObject {
 public:
  virtual DWORD AddRef() = 0;
  virtual DWORD Release() = 0;
  // Copies the name (zero-terminated) into buf; *len is the buffer size in, the length
  // including the terminator out. buf null: only *len is set.
  virtual HRESULT GetName(char* buf, DWORD* len) = 0;
  virtual HRESULT GetId(GUID* id) = 0;
  // The object's name ("" when it has none), valid while the object is.
  virtual const char* Name() const = 0;
  // The concrete kind of a child object; null when it is not of that kind (no reference
  // is added).
  virtual IDirectXFileData* AsData() { return nullptr; }
  virtual IDirectXFileDataReference* AsReference() { return nullptr; }
  virtual IDirectXFileBinary* AsBinary() { return nullptr; }

 protected:
  virtual ~IDirectXFileObject() = default;
};

class IDirectXFileData : public IDirectXFileObject {
 public:
  // Data laid out by the template: WORD 2 bytes, DWORD/SDWORD 4, FLOAT 4 (64-bit file floats
  // are narrowed), DOUBLE 8, CHAR/UCHAR 1, strings as a const char* (zero-terminated),
  // nested structures and arrays inline, no padding. member null: the whole object;
  // otherwise one top-level member of the template (DXFILEERR_BADDATAREFERENCE if none).
  virtual HRESULT GetData(const char* member, DWORD* size, const void** data) = 0;
  // The template identifier (GUID_NULL for an object whose template is unknown).
  virtual HRESULT GetType(const GUID** type) = 0;
  // The next child object; DXFILEERR_NOMOREOBJECTS at the end.
  virtual HRESULT GetNextObject(IDirectXFileObject** child) = 0;
  // Name of the object's template as written in the file.
  virtual const char* TemplateName() const = 0;
  // Whether the whole object's laid-out data holds a string pointer at this byte offset (ours,
  // not DirectX's). A file may declare its own layout under a known name or identifier, so a
  // reader checks this before it takes a pointer out of the bytes.
  virtual bool HoldsStringAt(DWORD offset) const = 0;
  IDirectXFileData* AsData() override { return this; }
};

class IDirectXFileDataReference : public IDirectXFileObject {
 public:
  // The data object the reference names (by name or by id), with a reference added.
  virtual HRESULT Resolve(IDirectXFileData** data) = 0;
  IDirectXFileDataReference* AsReference() override { return this; }
};

class IDirectXFileBinary : public IDirectXFileObject {
 public:
  virtual HRESULT GetSize(DWORD* size) = 0;
  virtual HRESULT Read(void* buf, DWORD size, DWORD* read) = 0;
  IDirectXFileBinary* AsBinary() override { return this; }
};

class IDirectXFileEnumObject {
 public:
  virtual DWORD AddRef() = 0;
  virtual DWORD Release() = 0;
  // The next top-level data object in file order; DXFILEERR_NOMOREOBJECTS at the end; a
  // parse error in the file is returned when the enumeration reaches the damaged object.
  virtual HRESULT GetNextDataObject(IDirectXFileData** data) = 0;
  virtual HRESULT GetDataObjectByName(const char* name, IDirectXFileData** data) = 0;
  virtual HRESULT GetDataObjectById(REFGUID id, IDirectXFileData** data) = 0;

 protected:
  virtual ~IDirectXFileEnumObject() = default;
};

class IDirectXFile {
 public:
  virtual DWORD AddRef() = 0;
  virtual DWORD Release() = 0;
  // Registers the templates declared in a .X file image (any of the four forms).
  virtual HRESULT RegisterTemplates(const void* data, DWORD size) = 0;
  // source: a file name (DXFILELOAD_FROMFILE) or a DXFILELOADMEMORY* (DXFILELOAD_FROMMEMORY).
  virtual HRESULT CreateEnumObject(const void* source, DWORD options, IDirectXFileEnumObject** out) = 0;

 protected:
  virtual ~IDirectXFile() = default;
};

HRESULT DirectXFileCreate(IDirectXFile** out);

// The standard templates (Header ... RightHanded) as a binary .X image beginning
// "xof 0302bin 0064", the form the program registers them from.
const BYTE* StandardTemplates(DWORD* size);
// The same declarations as text, plus the skinning and vertex-data extension templates.
const char* StandardTemplatesText();
const char* ExtensionTemplatesText();

// Parsing ahead (ours, not part of the DirectX interface): a loading worker parses a file
// image with `templates` registered, as one RegisterTemplates call on a fresh file object
// would, while the main thread does other work. The CreateEnumObject from memory that later
// gets the same bytes, on a file object that registered the same text and nothing else, takes
// the parsed document instead of parsing again; it waits while the worker is still at it.
// Everything else parses as usual. DropPreparedDocuments frees what nobody took.
void PrepareDocumentAhead(const void* templates, DWORD templatesSize, const void* data, DWORD size);
void DropPreparedDocuments();

}  // namespace xfile
