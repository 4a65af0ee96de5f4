#pragma once

// The back-fill windows: options, quote-kind choice, progress.
