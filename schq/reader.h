// Reads an Altium/Protel schematic file (".SchDoc", ".SchDot") into a sorted, indexed document.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "schq/document.h"
#include "schq/records.h"

namespace schq {

// Reads the file at a UTF-8 path; throws schq::Error with an English message on failure.
Document readSchDoc(const std::string& path);

// False for hidden records and for parts and display modes of a component other than its current
// ones; looks at the record and its direct owner only.
bool isVisible(const std::vector<PropertyMap>& records, std::size_t index);

}  // namespace schq
