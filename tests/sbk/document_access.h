// Test-only access to the record behind an SBK page document.
#pragma once

#include "sbk/document.h"
#include "sbk/page_record.h"

namespace sbk {

struct DocumentAccess {
    static Document::Record& record(Document& doc) { return *doc.rec_; }
    static const Document::Record& record(const Document& doc) { return *doc.rec_; }
};

}  // namespace sbk
