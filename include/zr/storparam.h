// storparam.h - parameter trees kept in a storage (CIXStorParam).
//
// Each node is a storage: a sub-parameter N is the sub-storage N of the
// node's storage, a value N is the stream N holding exactly one variant
// stream record (zr/xstream.h) from its start; the default value's stream is
// named "@". Names are element names, so the compound file's limit of 31
// characters applies: a longer name makes no node and stores no value.
//
// The back-end catches the library's exceptions its storage raises:
// creating and opening answer null, GetValue 0, the other operations do
// nothing. Changes become durable through Commit, which Purge and the last
// release of every node call (a read-only storage is never committed).
// A node holds its parent node and its storage; after Purge it holds no
// storage and only Release is allowed. QueryInterface answers IXStorage
// (the node's storage) and IRegisterIface, through the node's interface
// registry.
#pragma once

#include "zr/param.h"
#include "zr/xstorage.h"

// The root node ("Root") over `storage` (not null), which it holds; count 1,
// no parent. Null when memory cannot be had.
ZR_API IParam* new_IXStorParam(IXStorage* storage);
