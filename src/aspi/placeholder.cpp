// Filled by the drive-access layer.
