#pragma once

#include "merge/Mail.h"
#include "merge/MergePlan.h"
#include "merge/MergeValueStore.h"

// What the mails of one merge share: the compiled templates, and the store
// their values are kept in.
struct Mail::Merged
{
    explicit Merged(MergePlan compiled) : plan(std::move(compiled)) {}

    MergePlan plan;
    MergeValueStore store;
};
