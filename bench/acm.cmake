# Conversion drivers and whole chains against the codec libraries called directly.
tembrel_add_bench(acm LIBS deaudio platform_acm speexdsp mp3lame gsm)
