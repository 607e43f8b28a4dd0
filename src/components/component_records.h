// The component records of save files and cabinet files: each component is
// its type byte followed by its record, the object part, the control part
// with the children for visual components, then the class's own fields.
//
// Records are written at kComponentRecordVersion and read at every version
// from kOldestComponentRecordVersion; a field that a version introduced is
// absent from older streams. Records carry no lengths, so a reader that
// does not know a class cannot step over it: a type whose class is not
// built fails the load.
//
// The object and control parts are TNovaObject's and TNovaControl's
// SaveToStream and LoadFromStream; TNovaBaseList::WriteComponent and
// ReadComponent add the type byte and the factory.
#pragma once

#include <cstdint>

namespace nova::components {

class TNovaObject;

constexpr std::int32_t kComponentRecordVersion = 140;
constexpr std::int32_t kOldestComponentRecordVersion = 101;

// The versions that introduced fields of the object and control parts.
constexpr std::int32_t kMouseInVersion = 102;         // PR_ONMOUSEIN
constexpr std::int32_t kOrderOffsetVersion = 104;     // order offset, clip, animation paused
constexpr std::int32_t kKeyEventsVersion = 118;       // PR_HANDLEKEY and the key and focus events
constexpr std::int32_t kTagVersion = 120;             // PR_TAG
constexpr std::int32_t kMotionPositionVersion = 130;  // motion and plus positions

// Raises core::Error for a version outside the readable range.
void check_component_record_version(std::int32_t version);

// Whether a component is written among its parent's children (or the
// screen record's components): not pending deletion, of a type other than
// LT_NONE, and not named with byte 1 first (the screen bases and the screen
// copy of Flip).
bool is_saved(const TNovaObject& o);

}  // namespace nova::components
