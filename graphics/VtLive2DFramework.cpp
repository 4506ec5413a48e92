// The Live2D framework part: the byte string with its hash and cached conversions, the JSON values
// and their shared statics, the id registry and the release of the render objects.
// Stands on the allocator, the character-code conversions and the critical sections.
#include "graphics/VtLive2DFramework.h"

#include <string.h>

#include "foundation/VtCharCode.h"

namespace Vantrel {

Live2DJsonStatics Live2DJson = {nullptr, nullptr, nullptr, nullptr, nullptr};

namespace {

// The render-state manager (a vector of stored states) and the shared renderer; nothing in this
// library makes them, the module end releases them when present.
struct D_CubismRenderStateStored {
    int32_t Words[16];
};
D_csmVector<D_CubismRenderStateStored>* RenderStateManager = nullptr;
D_Live2DObject* SharedRenderer = nullptr;

int32_t HashOf(const char* text, int32_t length) {
    uint32_t hash = 0;
    for (int32_t i = length; i >= 0; --i) hash = hash * 31u + static_cast<uint32_t>(static_cast<int32_t>(static_cast<int8_t>(text[i])));
    const int32_t value = static_cast<int32_t>(hash);
    return value == -1 ? -2 : value;
}

}  // namespace

// ---- D_csmString ----

D_csmString::D_csmString() : Data(nullptr), Length(0), Hash(0), Inline{}, Narrow{}, Wide{} {}

D_csmString::D_csmString(const char* text) : D_csmString() {
    if (text != nullptr && text[0] != 0) SetText(text, static_cast<int32_t>(strlen(text)));
}

D_csmString::D_csmString(const D_csmString& other) : D_csmString() { SetText(other.GetRawString(), other.Length); }

// A deep copy: each string owns its own heap block, so none is freed twice.
D_csmString& D_csmString::operator=(const D_csmString& other) {
    if (this != &other) SetText(other.GetRawString(), other.Length);
    return *this;
}

D_csmString& D_csmString::operator=(const char* text) {
    if (text == nullptr)
        Clear();
    else
        SetText(text, static_cast<int32_t>(strlen(text)));
    return *this;
}

D_csmString::~D_csmString() { Clear(); }

void D_csmString::SetText(const char* text, int32_t length) {
    // The text may lie inside this string: keep a copy before clearing.
    char* copy = static_cast<char*>(Memory_Allocate(static_cast<uint32_t>(length) + 1, __FILE__, __LINE__));
    if (copy == nullptr) {
        Clear();
        return;
    }
    memcpy(copy, text, length);
    copy[length] = 0;
    Clear();
    Length = length;
    if (length <= InlineLimit) {
        memcpy(Inline, copy, static_cast<size_t>(length) + 1);
        Memory_Free(copy);
    } else {
        Data = copy;
    }
    Hash = HashOf(GetRawString(), Length);
}

void D_csmString::ResetConversions() {
    Memory_Free(Narrow.Heap);
    Memory_Free(Wide.Heap);
    Narrow = {};
    Wide = {};
}

void D_csmString::Clear() {
    Memory_Free(Data);
    Data = nullptr;
    Length = 0;
    Hash = 0;
    Inline[0] = 0;
    ResetConversions();
}

bool D_csmString::Equals(const char* text) const {
    if (text == nullptr) return Length == 0;
    const int32_t length = static_cast<int32_t>(strlen(text));
    return length == Length && memcmp(text, GetRawString(), Length) == 0;
}

bool D_csmString::Equals(const D_csmString& other) const {
    return other.Length == Length && other.Hash == Hash && memcmp(other.GetRawString(), GetRawString(), Length) == 0;
}

const char* D_csmString::GetNarrowString() {
    if (!Narrow.Built) {
        const CodePageId page = CharCode_GetNarrowPage();
        const int32_t bytes = CharCode_ConvertString(GetRawString(), -1, CodePage_Utf8, nullptr, 0x7FFFFFFF, page);
        char* out = Narrow.Inline;
        if (bytes > static_cast<int32_t>(sizeof(Narrow.Inline))) {
            Narrow.Heap = static_cast<char*>(Memory_Allocate(static_cast<uint32_t>(bytes), __FILE__, __LINE__));
            if (Narrow.Heap == nullptr) return "";
            out = Narrow.Heap;
        }
        const int32_t written = bytes > 0 ? CharCode_ConvertString(GetRawString(), -1, CodePage_Utf8, out, bytes, page) : 0;
        if (written <= 0) out[0] = 0;
        Narrow.Length = written > 0 ? written - 1 : 0;
        Narrow.Built = 1;
    }
    return Narrow.Heap != nullptr ? Narrow.Heap : Narrow.Inline;
}

const uint16_t* D_csmString::GetWideString() {
    static const uint16_t Empty[1] = {0};
    if (!Wide.Built) {
        const int32_t bytes =
            CharCode_ConvertString(GetRawString(), -1, CodePage_Utf8, nullptr, 0x7FFFFFFF, CodePage_Utf16LE);
        uint16_t* out = Wide.Inline;
        if (bytes > static_cast<int32_t>(sizeof(Wide.Inline))) {
            Wide.Heap = static_cast<uint16_t*>(Memory_Allocate(static_cast<uint32_t>(bytes), __FILE__, __LINE__));
            if (Wide.Heap == nullptr) return Empty;
            out = Wide.Heap;
        }
        const int32_t written =
            bytes > 0 ? CharCode_ConvertString(GetRawString(), -1, CodePage_Utf8, out, bytes, CodePage_Utf16LE) : 0;
        if (written <= 0) out[0] = 0;
        Wide.Length = written > 0 ? written / 2 - 1 : 0;
        Wide.Built = 1;
    }
    return Wide.Heap != nullptr ? Wide.Heap : Wide.Inline;
}

// ---- JSON values ----

const char* D_JsonValue::GetNarrowString() { return const_cast<D_csmString&>(GetString()).GetNarrowString(); }

const uint16_t* D_JsonValue::GetWideString() { return const_cast<D_csmString&>(GetString()).GetWideString(); }

D_csmVector<D_csmString>& D_JsonValue::GetKeys() { return *Live2DJson.EmptyKeys; }

D_JsonValue& D_JsonValue::operator[](int32_t) { return *Live2DJson.Error; }

D_JsonValue& D_JsonValue::operator[](const D_csmString&) { return *Live2DJson.Error; }

D_JsonValue& D_JsonValue::operator[](const char*) {
    Live2DJson.Error->SetErrorNotForClientCall("D_JsonError:type mismatch");
    return *Live2DJson.Error;
}

D_JsonValue* D_JsonValue::SetErrorNotForClientCall(const char*) { return Live2DJson.Error; }

const D_csmString& D_JsonBoolean::GetString() {
    Text = Value ? "true" : "false";
    return Text;
}

bool D_JsonString::Equals(const D_csmString& value) { return Text.Equals(value); }

D_JsonValue* D_JsonError::SetErrorNotForClientCall(const char* text) {
    Text = text;
    return this;
}

int Live2D_Json_CreateStatics() {
    Live2DJson.True = Live2D_New<D_JsonBoolean>(true);
    Live2DJson.False = Live2D_New<D_JsonBoolean>(false);
    Live2DJson.Error = Live2D_New<D_JsonError>("ERROR", true);
    Live2DJson.Null = Live2D_New<D_JsonNullValue>();
    Live2DJson.EmptyKeys = Live2D_New<D_csmVector<D_csmString>>();
    return 0;
}

int Live2D_Json_ReleaseStatics() {
    Live2D_Delete(Live2DJson.True);
    Live2D_Delete(Live2DJson.False);
    Live2D_Delete(Live2DJson.Error);
    Live2D_Delete(Live2DJson.Null);
    Live2D_Delete(Live2DJson.EmptyKeys);
    return 0;
}

// ---- Ids ----

Live2DIdManager* Live2D_IdManager_Create() {
    Live2DIdManager* manager =
        static_cast<Live2DIdManager*>(Memory_AllocateZeroed(sizeof(Live2DIdManager), __FILE__, __LINE__));
    if (manager == nullptr) return nullptr;
    CriticalSection_Create(&manager->Lock);
    return manager;
}

void Live2D_IdManager_Delete(Live2DIdManager* manager) {
    if (manager == nullptr) return;
    CriticalSection_Delete(&manager->Lock);
    for (int32_t i = 0; i < manager->Count; ++i) Live2D_Delete(manager->Ids[i]);
    manager->Count = 0;
    Memory_Free(manager);
}

// ---- Framework objects ----

void Live2D_Model_Release(D_Live2DObject* object) { Live2D_Delete(object); }

int Live2D_Framework_ReleaseRenderer() {
    Live2D_Delete(RenderStateManager);
    Live2D_Delete(SharedRenderer);
    return 0;
}

}  // namespace Vantrel
