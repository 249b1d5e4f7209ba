# End-to-end search tests through the window.
