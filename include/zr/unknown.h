// unknown.h - reference-counted objects: IZRUnknown, the implementation
// templates, aggregation, and the class factory shape.
//
// Interfaces are identified by the std::type_info of the interface type,
// compared with type_info equality (which compares the types' names), never by
// numeric identifiers. Every interface derives from IZRUnknown and appends its
// operations after IZRUnknown's three; the order of every interface's
// operations is part of the contract with the modules compiled against these
// headers, so declarations below are in table-slot order and must stay so.
//
// Table layout on this platform (Itanium C++ ABI): a virtual destructor takes
// two table entries (complete-object, then deleting destructor), where the
// Windows ABI gives it one. The tail of CZRUnknownImpl<I> is therefore, with n
// the number of operations of I:
//   n     destructor (complete object)
//   n+1   destructor (deleting)
//   n+2   InternalAddRef
//   n+3   InternalRelease
//   n+4   InternalQueryInterface
// and CZRUnknownImplParent's SetParent / GetParent follow at n+5 and n+6.
//
// Ownership: an operation that returns an interface pointer gives the caller
// one reference, given back with Release; pointers passed in are borrowed
// unless an operation says it keeps them. Reference counts are plain 32-bit
// counters: an object is used by one thread at a time.
#pragma once

#include <typeinfo>

#include "zr/exception.h"
#include "zr/zrtypes.h"

// The root interface.
class ZR_API IZRUnknown {
 public:
  // Slot 0: drops a reference; the count after the release, 0 when the
  // object was destroyed.
  virtual ULONG Release() = 0;
  // Slot 1: asks for the interface `type`. On success *out holds a pointer of
  // that interface type with one reference added, and the result is 1; on
  // failure *out is null and the result 0. With out null the call only
  // reports whether the interface is supported and adds no reference.
  virtual int QueryInterface(const std::type_info& type, void** out) = 0;
  // Slot 2: adds a reference; the count after the increment.
  virtual ULONG AddRef() = 0;

 protected:
  // Objects are destroyed by their last Release, never through an interface.
  ~IZRUnknown() = default;
};

// The implementation of IZRUnknown used by every object class of the library.
// Objects are created with new (count 1, owned by the creator) and destroyed
// by the Release that brings the count to 0.
template <class I>
class CZRUnknownImpl : public I {
 public:
  CZRUnknownImpl() : m_cRef(1) {}

  // The three public operations only forward to the tail operations.
  ULONG Release() override { return InternalRelease(); }
  int QueryInterface(const std::type_info& type, void** out) override {
    return InternalQueryInterface(type, out);
  }
  ULONG AddRef() override { return InternalAddRef(); }

  virtual ~CZRUnknownImpl() = default;

  virtual ULONG InternalAddRef() { return ++m_cRef; }

  virtual ULONG InternalRelease() {
    if (--m_cRef == 0) {
      delete this;
      return 0;
    }
    return m_cRef;
  }

  // Answers IZRUnknown and I with the object itself; a class with further
  // interfaces overrides this, answers its own, then falls back to it.
  virtual int InternalQueryInterface(const std::type_info& type, void** out) {
    I* self = static_cast<I*>(this);
    void* answer = nullptr;
    if (type == typeid(IZRUnknown))
      answer = static_cast<IZRUnknown*>(self);
    else if (type == typeid(I))
      answer = self;
    if (!out) return answer ? 1 : 0;
    *out = answer;
    // Through slot 2, so that a class that overrides AddRef is obeyed.
    if (answer) self->AddRef();
    return answer ? 1 : 0;
  }

 protected:
  ULONG m_cRef;
};

// An object that keeps a counted reference to a parent object of interface P.
// It counts with its own counter (the inherited one stays 1 and unused).
template <class I, class P>
class CZRUnknownImplParent : public CZRUnknownImpl<I> {
 public:
  CZRUnknownImplParent() : m_cOwnRef(1), m_pParent(nullptr) {}

  ULONG Release() override {
    if (--m_cOwnRef == 0) {
      if (m_pParent) m_pParent->Release();
      m_pParent = nullptr;
      delete this;
      return 0;
    }
    return m_cOwnRef;
  }

  ULONG AddRef() override { return ++m_cOwnRef; }

  // Tail + 4: references the new parent, releases the old one, keeps the new.
  virtual void SetParent(P* parent) {
    if (parent) parent->AddRef();
    if (m_pParent) m_pParent->Release();
    m_pParent = parent;
  }

  // Tail + 5: the parent with one reference added for the caller, or null.
  virtual P* GetParent() {
    if (m_pParent) m_pParent->AddRef();
    return m_pParent;
  }

 protected:
  ULONG m_cOwnRef;
  P* m_pParent;
};

// The first base of an aggregatable class T: forwards the three IZRUnknown
// operations to the controlling unknown (the outer), which it does not count.
// T overrides Release, QueryInterface and AddRef once, forwarding them to
// the outer as these do (ZR_CONTAINED_UNKNOWN(T) writes the three), so that
// every interface pointer of an aggregated object shares the outer's count
// and identity. T also provides
//   int InternalQueryInterface(const std::type_info&, void**)
// which compares the type with each interface T implements and, on a match,
// stores that interface's pointer, adds a reference through it and answers 1;
// with a null out pointer it only answers.
template <class T>
class CZRContainedObject : public IZRUnknown {
 public:
  CZRContainedObject() : m_pOuter(nullptr) {}

  ULONG Release() override { return m_pOuter->Release(); }
  int QueryInterface(const std::type_info& type, void** out) override {
    return m_pOuter->QueryInterface(type, out);
  }
  ULONG AddRef() override { return m_pOuter->AddRef(); }

  virtual ~CZRContainedObject() = default;

  void SetOuter(IZRUnknown* outer) { m_pOuter = outer; }
  IZRUnknown* GetOuter() const { return m_pOuter; }

 protected:
  IZRUnknown* m_pOuter;
};

// Inside an aggregatable class T: its one override of the three IZRUnknown
// operations, shared by all its interfaces, forwarding to the outer.
#define ZR_CONTAINED_UNKNOWN(T)                                                    \
  ULONG Release() override { return CZRContainedObject<T>::Release(); }            \
  int QueryInterface(const std::type_info& type, void** out) override {            \
    return CZRContainedObject<T>::QueryInterface(type, out);                       \
  }                                                                                \
  ULONG AddRef() override { return CZRContainedObject<T>::AddRef(); }

// The controlling object of an aggregatable class T: its own count, and the
// embedded T. Its QueryInterface is the non-delegating unknown.
template <class T>
class CZRAggObject : public IZRUnknown {
 public:
  CZRAggObject() : m_cRef(1) {}

  ULONG Release() override {
    if (--m_cRef == 0) {
      delete this;
      return 0;
    }
    return m_cRef;
  }

  // With a null out pointer it only answers (no reference is added).
  int QueryInterface(const std::type_info& type, void** out) override {
    if (!out) {
      if (type == typeid(IZRUnknown)) return 1;
      return m_obj.InternalQueryInterface(type, nullptr);
    }
    *out = nullptr;
    if (type == typeid(IZRUnknown)) {
      *out = static_cast<IZRUnknown*>(this);
      static_cast<IZRUnknown*>(*out)->AddRef();
      return *out != nullptr;
    }
    return m_obj.InternalQueryInterface(type, out);
  }

  // Returns the count as it was before the increment.
  ULONG AddRef() override { return m_cRef++; }

  virtual ~CZRAggObject() = default;

  T& Object() { return m_obj; }

 protected:
  ULONG m_cRef;
  T m_obj;
};

// A non-counting unknown that forwards queries to an interface of the object
// that contains it.
class ZR_API CUnknownInternal : public IZRUnknown {
 public:
  explicit CUnknownInternal(IZRUnknown* target = nullptr) : m_pTarget(target) {}

  ULONG Release() override;
  int QueryInterface(const std::type_info& type, void** out) override;
  ULONG AddRef() override;

  void SetTarget(IZRUnknown* target) { m_pTarget = target; }

 protected:
  IZRUnknown* m_pTarget;
};

// An object that keeps an interface registry: objects registered under an
// interface type and answered by the owner's QueryInterface (zr/ifacereg.h
// holds the registry itself).
class ZR_API IRegisterIface : public IZRUnknown {
 public:
  // Slot 3: registers `object` as the answer for `type` (strong non-zero:
  // the registry holds a reference), replaces an earlier registration, or with
  // a null object removes it. 1 on success; 0 for a null object and a type
  // that was never registered.
  virtual int RegisterInterface(IZRUnknown* object, const std::type_info& type, ULONG strong) = 0;

 protected:
  ~IRegisterIface() = default;
};

// A record of the interface registry, keyed by the type's raw name.
struct _tIZRUnknown {
  const char* name;      // the type's raw name (type_info::name), not copied
  IZRUnknown* object;
  ULONG strong;          // non-zero: the registry holds a reference to object
};

// The class factory shape: creates one object, aggregated into `outer` when
// outer is non-null (then only IZRUnknown may be asked for). The result is
// the new object's QueryInterface(type, out); 1 on success.
using PFNZRCLASSFACTORY = int (*)(IZRUnknown* outer, const std::type_info& type, void** out);

// The creation pattern of an aggregatable class T (CZRContainedObject<T> as
// its first base): with an outer only IZRUnknown may be asked for; the
// aggregate is built with count 1, T's outer is the given outer or the
// aggregate itself, the query's answer is returned and the construction
// reference released, so an object whose query failed is destroyed at once.
template <class T>
int ZRCreateAggregate(IZRUnknown* outer, const std::type_info& type, void** out) {
  if (outer && type != typeid(IZRUnknown)) return 0;
  auto* agg = zr::Allocating([] { return new CZRAggObject<T>(); });
  agg->Object().SetOuter(outer ? outer : static_cast<IZRUnknown*>(agg));
  int result = agg->QueryInterface(type, out);
  agg->Release();
  return result;
}

extern template class ZR_API CZRUnknownImpl<IZRUnknown>;
