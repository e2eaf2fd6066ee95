// tlist.h - the circular doubly linked lists of the library: COList,
// CTList, CTPList (which owns what its elements point to), CTListEnum (a
// reference-counted list that enumerators share) and _CListEnum, the
// enumerator over it.
//
// The tail's next is the head and the head's previous is the tail; a walk
// from the head stops after the tail (GetNext answers null there). Record
// layouts are fixed: a list is (count, head, tail, closed flag), a node
// (next, previous, value).
//
// The closed flag is set while a list is emptied and for good when it is
// destroyed; while it is set, adding and removing answer null or 0 and touch
// nothing, so that late calls (from a destructor reached while the list
// empties itself, or during the library's static destruction) are harmless.
//
// No list takes a lock: the owner serialises access. Nodes come from the
// global operator new; failure throws CXBadAlloc (zr/exception.h) and
// leaves the list as it was.
#pragma once

#include <cassert>
#include <string>
#include <type_traits>
#include <utility>

#include "zr/exception.h"
#include "zr/tenum.h"
#include "zr/unknown.h"
#include "zr/zrtypes.h"

// The links every node starts with.
struct _COListLink {
  _COListLink* pNext;
  _COListLink* pPrev;
};

// A node holding one value: next, previous, value.
template <class T>
struct _CTListPlex : _COListLink {
  using value_type = T;
  explicit _CTListPlex(T v) : _COListLink{nullptr, nullptr}, value(std::move(v)) {}
  T value;
};

// The list's bookkeeping and the linking, independent of the value type.
class COList {
 public:
  constexpr COList() = default;
  COList(const COList&) = delete;
  COList& operator=(const COList&) = delete;

  ULONG GetCount() const { return m_nCount; }
  int IsEmpty() const { return m_nCount == 0 ? 1 : 0; }
  // Non-zero while the list is being emptied and after it was destroyed.
  int IsClosed() const { return m_bClosed != 0 ? 1 : 0; }

 protected:
  ~COList() = default;

  // Puts `node` between the tail and the head; it becomes the tail, or the
  // head when `atHead` (a lone node points to itself both ways).
  void Link(_COListLink* node, bool atHead) {
    if (!m_pHead) {
      node->pNext = node->pPrev = node;
      m_pHead = m_pTail = node;
    } else {
      node->pNext = m_pHead;
      node->pPrev = m_pTail;
      m_pTail->pNext = node;
      m_pHead->pPrev = node;
      if (atHead)
        m_pHead = node;
      else
        m_pTail = node;
    }
    ++m_nCount;
    assert(m_pTail->pNext == m_pHead && m_pHead->pPrev == m_pTail);
  }

  // Takes `node` out, re-linking its neighbours.
  void Unlink(_COListLink* node) {
    assert(m_nCount != 0 && node->pNext && node->pPrev);
    if (m_nCount == 1) {
      assert(node == m_pHead && node == m_pTail);
      m_pHead = m_pTail = nullptr;
    } else {
      node->pPrev->pNext = node->pNext;
      node->pNext->pPrev = node->pPrev;
      if (node == m_pHead) m_pHead = node->pNext;
      if (node == m_pTail) m_pTail = node->pPrev;
    }
    node->pNext = node->pPrev = nullptr;
    --m_nCount;
  }

  // Detaches every node at once and answers the former head; the nodes still
  // form their ring (the former tail's next is the former head).
  _COListLink* DetachAll() {
    _COListLink* head = m_pHead;
    m_pHead = m_pTail = nullptr;
    m_nCount = 0;
    return head;
  }

  // A store the compiler may not drop: the closed flag is written by
  // destructors and read by calls that arrive after destruction.
  void SetClosed(ULONG value) { *static_cast<volatile ULONG*>(&m_bClosed) = value; }

  // Invariants: m_nCount is 0 exactly when m_pHead and m_pTail are null;
  // otherwise the nodes form one ring of m_nCount nodes with
  // m_pTail->pNext == m_pHead and m_pHead->pPrev == m_pTail.
  ULONG m_nCount = 0;
  _COListLink* m_pHead = nullptr;
  _COListLink* m_pTail = nullptr;
  ULONG m_bClosed = 0;
};

// A list of values of P::value_type in nodes of type P (_CTListPlex<T>). It
// owns its nodes, not what values point to (CTPList does).
template <class P>
class CTList : public COList {
 public:
  using T = typename P::value_type;

  constexpr CTList() = default;
  ~CTList() {
    SetClosed(1);
    FreeNodes(DetachAll(), [](T&) {});
  }

  // Adds a node at the tail; the node, or null on a closed list.
  P* AddTail(T value) { return Add(std::move(value), false); }
  // Adds a node at the head, so that a walk from the head meets it first.
  P* AddHead(T value) { return Add(std::move(value), true); }

  // Unlinks and frees `node` (a node of this list); 1, or 0 on a closed list
  // or a null node.
  int RemoveNode(P* node) {
    if (m_bClosed || !node) return 0;
    Unlink(node);
    delete node;
    return 1;
  }

  // Frees every node; the list is closed meanwhile and open again after.
  void RemoveAll() {
    if (m_bClosed) return;
    SetClosed(1);
    FreeNodes(DetachAll(), [](T&) {});
    SetClosed(0);
  }

  P* GetHead() const { return static_cast<P*>(m_pHead); }
  P* GetTail() const { return static_cast<P*>(m_pTail); }
  // The node after `node`, null after the tail.
  P* GetNext(const P* node) const {
    return node == m_pTail ? nullptr : static_cast<P*>(node->pNext);
  }
  // The node before `node`, null before the head.
  P* GetPrev(const P* node) const {
    return node == m_pHead ? nullptr : static_cast<P*>(node->pPrev);
  }

 protected:
  P* Add(T value, bool atHead) {
    if (m_bClosed) return nullptr;
    P* node = zr::Allocating([&] { return new P(std::move(value)); });
    Link(node, atHead);
    return node;
  }

  // Frees a detached ring of `count` nodes starting at `head`, calling
  // `dispose` on each value first. The walk is bounded by the ring: it stops
  // when it comes back to the head.
  template <class F>
  static void FreeNodes(_COListLink* head, F dispose) {
    if (!head) return;
    head->pPrev->pNext = nullptr;  // open the ring at the former tail
    for (_COListLink* link = head; link;) {
      _COListLink* next = link->pNext;
      P* node = static_cast<P*>(link);
      dispose(node->value);
      delete node;
      link = next;
    }
  }
};

// What CTPList does with its elements: string lists keep their own copies
// (length + 1 units) and free them; lists of pointers to objects delete them
// (an object of the object model is released instead, being destroyed only
// by its last Release). Specialise for another element type.
template <class T>
struct CTPListTraits {
  static_assert(std::is_pointer_v<T> && std::is_class_v<std::remove_pointer_t<T>>,
                "CTPList holds pointers to objects or strings; specialise CTPListTraits otherwise");
  static T Adopt(T value) { return value; }
  static void Dispose(T value) {
    using U = std::remove_cv_t<std::remove_pointer_t<T>>;
    if constexpr (std::is_base_of_v<IZRUnknown, U>) {
      if (value) value->Release();
    } else {
      delete value;
    }
  }
};

template <class C>
struct _CTStringListTraits {
  static C* Adopt(const C* value) { return zr::CopyText(value); }
  static void Dispose(const C* value) { delete[] value; }
};
template <>
struct CTPListTraits<const char*> : _CTStringListTraits<char> {};
template <>
struct CTPListTraits<char*> : _CTStringListTraits<char> {};
template <>
struct CTPListTraits<const WCHAR*> : _CTStringListTraits<WCHAR> {};
template <>
struct CTPListTraits<WCHAR*> : _CTStringListTraits<WCHAR> {};

// A list of pointers that owns what they point to (CTPListTraits). Its
// operations hide CTList's: call them through CTPList, since CTList's own
// leave the pointees alone.
template <class T>
class CTPList : public CTList<_CTListPlex<T>> {
  using Base = CTList<_CTListPlex<T>>;
  using Traits = CTPListTraits<T>;

 public:
  using Node = _CTListPlex<T>;

  constexpr CTPList() = default;
  ~CTPList() {
    this->SetClosed(1);
    Base::FreeNodes(this->DetachAll(), [](T& v) { Traits::Dispose(v); });
  }

  // Adds at the tail (at the head) and takes `value` over: a string is
  // copied, a pointer adopted. The node, or null on a closed list (a pointer
  // not adopted then stays the caller's).
  Node* AddTail(T value) { return Add(value, false); }
  Node* AddHead(T value) { return Add(value, true); }

  // Unlinks `node`, disposes of its element and frees it.
  int RemoveNode(Node* node) {
    if (this->m_bClosed || !node) return 0;
    this->Unlink(node);
    T value = node->value;
    delete node;
    Traits::Dispose(value);
    return 1;
  }

  // Disposes of every element; closed meanwhile (a destructor of an element
  // that reaches the list is refused), open and empty after.
  void RemoveAll() {
    if (this->m_bClosed) return;
    this->SetClosed(1);
    Base::FreeNodes(this->DetachAll(), [](T& v) { Traits::Dispose(v); });
    this->SetClosed(0);
  }

 private:
  Node* Add(T value, bool atHead) {
    if (this->m_bClosed) return nullptr;
    T adopted = Traits::Adopt(value);
    Node* node;
    try {
      node = zr::Allocating([&] { return new Node(adopted); });
    } catch (...) {
      if (adopted != value) Traits::Dispose(adopted);  // only a copy is ours
      throw;
    }
    this->Link(node, atHead);
    return node;
  }
};

// A CTPList with a reference count (1 at construction), so that it can
// outlive its creator while enumerators use it. Its last Release destroys it
// with its elements. `A` is the item type its enumerators deliver.
template <class T, class A>
class CTListEnum : public CTPList<T>, public CZRUnknownImpl<IZRUnknown> {
 public:
  CTListEnum() = default;
};

// Enumerates a shared CTListEnum in list order, delivering each value as an
// `A`. Every AddRef and Release of the enumerator is also made on the list, so
// the list lives as long as any enumerator on it. The enumerator does not
// survive removal of the node it stands on: the list's owner does not remove
// nodes while enumerators walk it (or hands out a fresh list).
template <class T, class A>
class _CListEnum : public CZRUnknownImpl<CTEnum<A>> {
  using Base = CZRUnknownImpl<CTEnum<A>>;
  using List = CTListEnum<T, A>;
  using Node = typename List::Node;

 public:
  // Takes one reference on `list` for the enumerator's own. A null list
  // enumerates nothing.
  explicit _CListEnum(List* list) : m_pList(list), m_bStarted(0), m_pCurrent(nullptr) {
    if (m_pList) m_pList->AddRef();
  }

  _CListEnum(const _CListEnum&) = delete;
  _CListEnum& operator=(const _CListEnum&) = delete;

  // Delivers the current node's value and moves on, for each item asked; the
  // walk ends after the tail.
  int Next(ULONG count, A* items, ULONG* fetched) override {
    if (!m_bStarted) Reset();
    ULONG delivered = 0;
    if (items) {
      while (delivered < count && m_pCurrent) {
        items[delivered++] = m_pCurrent->value;
        m_pCurrent = m_pList->GetNext(m_pCurrent);
      }
    }
    if (fetched) *fetched = delivered;
    return delivered != 0 ? 1 : 0;
  }

  // Moves on `count` times (not past the end); 1 if a current node remains.
  int Skip(ULONG count) override {
    if (!m_bStarted) Reset();
    for (ULONG i = 0; i < count && m_pCurrent; ++i) m_pCurrent = m_pList->GetNext(m_pCurrent);
    return m_pCurrent ? 1 : 0;
  }

  void Reset() override {
    m_pCurrent = m_pList ? m_pList->GetHead() : nullptr;
    m_bStarted = 1;
  }

  ULONG InternalAddRef() override {
    if (m_pList) m_pList->AddRef();
    return Base::InternalAddRef();
  }

  ULONG InternalRelease() override {
    List* list = m_pList;  // `this` may be gone after the base's release
    const ULONG count = Base::InternalRelease();
    if (list) list->Release();
    return count;
  }

 protected:
  List* m_pList;
  ULONG m_bStarted;
  Node* m_pCurrent;
};
