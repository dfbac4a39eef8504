#pragma once

#include "format/PropertyList.h"
#include "format/PropertyListScan.h"

#include <plist/plist.h>
#include <vector>

// The library's nodes into plain values, once the bytes have been checked.
namespace talvo {

// A binary file's tree, whose dates hold their places in dates.
PropertyListReading convertBinary(plist_t root, const std::vector<double>& dates);

// A checked XML document: the containers are built here from its elements, and each value's own
// small document is read by the library.
PropertyListReading convertXml(const plistscan::PreparedXml& xml);

} // namespace talvo
