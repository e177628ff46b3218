// The Win32 platform layer.
