#pragma once

// Property ids: a wide property name maps to a 16-bit id, the same name always to the same id.
// Ids start at 1 and are never reused within the process.
unsigned short insert_name_id(const wchar_t* name);
