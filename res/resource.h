// Resource identifiers.
#pragma once

#define IDI_QUILLMOOR 128        // the application icon
#define IDS_LOCAL_VERSION 1016   // the local version text
