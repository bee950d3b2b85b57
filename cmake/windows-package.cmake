# Packaging of the Windows programs.
