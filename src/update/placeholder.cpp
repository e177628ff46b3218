// Filled by the flash procedure.
