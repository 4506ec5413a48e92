// The Live2D module's framework part: the framework's byte string (with its hash and cached narrow
// and UTF-16 forms), its vector, the JSON value classes with their shared values, the id registry,
// and the render objects the module end releases. All of it lives on the library heap.
// Stands on the allocator, the character-code conversions and the critical sections.
#pragma once

#include <stdint.h>

#include <new>

#include "foundation/VtMemory.h"
#include "foundation/VtThread.h"

namespace Vantrel {

class D_csmString {
public:
    D_csmString();
    explicit D_csmString(const char* text);
    D_csmString(const D_csmString& other);
    D_csmString& operator=(const D_csmString& other);
    D_csmString& operator=(const char* text);
    virtual ~D_csmString();

    const char* GetRawString() const { return Data != nullptr ? Data : Inline; }
    int32_t GetLength() const { return Length; }
    int32_t GetHash() const { return Hash; }
    // Equal when the lengths and every byte are.
    bool Equals(const char* text) const;
    bool Equals(const D_csmString& other) const;
    void Clear();
    // The text in the library's narrow page and in UTF-16, converted once on first request.
    const char* GetNarrowString();
    const uint16_t* GetWideString();

    static constexpr int InlineLimit = 62;

private:
    void SetText(const char* text, int32_t length);
    void ResetConversions();

    char* Data;                         // heap copy for a text longer than InlineLimit bytes
    int32_t Length;
    int32_t Hash;
    char Inline[64];
    struct {
        uint8_t Built;
        char* Heap;
        int32_t Length;
        char Inline[64];
    } Narrow;
    struct {
        uint8_t Built;
        uint16_t* Heap;
        int32_t Length;                 // code units
        uint16_t Inline[128];
    } Wide;
};

// The framework's growable array; Clear destroys each element and frees the buffer.
template <typename T>
class D_csmVector {
public:
    D_csmVector() : Data(nullptr), Size(0), Capacity(0) {}
    virtual ~D_csmVector() { Clear(); }
    D_csmVector(const D_csmVector&) = delete;
    D_csmVector& operator=(const D_csmVector&) = delete;
    void Clear();
    int32_t GetSize() const { return Size; }
    T* Data;
    int32_t Size;
    int32_t Capacity;
};

class D_JsonValue;
typedef D_csmVector<D_JsonValue*> D_JsonArray;

// A JSON value: the base answers every question with "not this kind".
class D_JsonValue {
public:
    D_JsonValue() {}
    explicit D_JsonValue(const char* text) : Text(text) {}
    virtual ~D_JsonValue() {}
    virtual const D_csmString& GetString() { return Text; }
    virtual const char* GetRawString() { return GetString().GetRawString(); }
    virtual const char* GetNarrowString();
    virtual const uint16_t* GetWideString();
    virtual int32_t ToInt(int32_t defaultValue) { return defaultValue; }
    virtual float ToFloat(float defaultValue) { return defaultValue; }
    virtual bool ToBoolean(bool defaultValue) { return defaultValue; }
    virtual int32_t GetSize() { return 0; }
    virtual D_JsonArray* GetVector(D_JsonArray* defaultValue) { return defaultValue; }
    virtual void* GetMap(void* defaultValue) { return defaultValue; }
    virtual D_csmVector<D_csmString>& GetKeys();
    virtual D_JsonValue& operator[](int32_t index);
    virtual D_JsonValue& operator[](const D_csmString& key);
    virtual D_JsonValue& operator[](const char* key);
    virtual bool IsError() { return false; }
    virtual bool IsNull() { return false; }
    virtual bool IsBool() { return false; }
    virtual bool IsFloat() { return false; }
    virtual bool IsString() { return false; }
    virtual bool IsArray() { return false; }
    virtual bool IsMap() { return false; }
    virtual bool Equals(bool value) { return false; }
    virtual bool Equals(int32_t value) { return false; }
    virtual bool Equals(float value) { return false; }
    virtual bool Equals(const char* value) { return false; }
    virtual bool Equals(const D_csmString& value) { return false; }
    virtual bool IsStatic() { return false; }
    virtual D_JsonValue* SetErrorNotForClientCall(const char* text);

protected:
    D_csmString Text;
};

class D_JsonBoolean : public D_JsonValue {
public:
    explicit D_JsonBoolean(bool value) : Value(value) {}
    const D_csmString& GetString() override;
    bool ToBoolean(bool) override { return Value; }
    bool IsBool() override { return true; }
    bool Equals(bool value) override { return value == Value; }
    bool IsStatic() override { return true; }
    using D_JsonValue::Equals;

private:
    bool Value;
};

class D_JsonString : public D_JsonValue {
public:
    explicit D_JsonString(const char* text) : D_JsonValue(text) {}
    bool IsString() override { return true; }
    bool Equals(const char* value) override { return Text.Equals(value); }
    bool Equals(const D_csmString& value) override;
    using D_JsonValue::Equals;
};

class D_JsonError : public D_JsonString {
public:
    D_JsonError(const char* text, bool isStatic) : D_JsonString(text), Static(isStatic) {}
    bool IsError() override { return true; }
    bool IsStatic() override { return Static; }
    D_JsonValue* SetErrorNotForClientCall(const char* text) override;

private:
    bool Static;
};

class D_JsonNullValue : public D_JsonValue {
public:
    D_JsonNullValue() : D_JsonValue("D_JsonNullValue") {}
    bool IsNull() override { return true; }
    bool IsStatic() override { return true; }
};

// The shared values every JSON value hands out.
struct Live2DJsonStatics {
    D_JsonBoolean* True;
    D_JsonBoolean* False;
    D_JsonError* Error;
    D_JsonNullValue* Null;
    D_csmVector<D_csmString>* EmptyKeys;
};
extern Live2DJsonStatics Live2DJson;

int Live2D_Json_CreateStatics();
int Live2D_Json_ReleaseStatics();

struct Live2DIdManager {
    D_csmString* Ids[65536];
    int32_t Count;
    CriticalSection Lock;
};

Live2DIdManager* Live2D_IdManager_Create();
void Live2D_IdManager_Delete(Live2DIdManager* manager);

// Framework objects the module owns (models, the renderer): destroyed through their virtual
// destructor and freed from the library heap.
class D_Live2DObject {
public:
    virtual ~D_Live2DObject() {}
};
void Live2D_Model_Release(D_Live2DObject* object);
// The render-state manager and the shared renderer, when present.
int Live2D_Framework_ReleaseRenderer();

// Objects of the library heap: constructed in place (null when the heap has no room), destroyed
// and freed by Live2D_Delete, which nulls the pointer.
template <typename T, typename... Args>
T* Live2D_New(Args... args) {
    void* block = Memory_Allocate(sizeof(T), __FILE__, __LINE__);
    return block != nullptr ? new (block) T(args...) : nullptr;
}

template <typename T>
void Live2D_Delete(T*& object) {
    if (object == nullptr) return;
    object->~T();
    Memory_Free(object);
    object = nullptr;
}

template <typename T>
void D_csmVector<T>::Clear() {
    for (int32_t i = 0; i < Size; ++i) Data[i].~T();
    Memory_Free(Data);
    Data = nullptr;
    Size = Capacity = 0;
}

}  // namespace Vantrel
