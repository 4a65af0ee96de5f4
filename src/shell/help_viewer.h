#pragma once
// Implementation pending.
