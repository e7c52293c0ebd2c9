# Sourced by tests/golden_test.sh and scripts/refresh-golden.sh: which frames guard the
# show. One per scene, rendered by lumorak-capture --frames at 10 frames per second (the
# opening's picture depends on every earlier frame, so the rate is part of the reference).
golden_fps=10
golden_times=6,46,70,90,110,128
