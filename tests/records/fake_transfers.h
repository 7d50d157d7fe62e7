#pragma once
// The scripted transfer queue lives with the link tests.
#include "link/fake_transfers.h"
