# The viewer script: numbered windows showing images with a contrast zoom.
