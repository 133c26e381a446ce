// Defaults for the product's settings under HKEY_CURRENT_USER.
#pragma once

void ApplySettingsDefaults();
