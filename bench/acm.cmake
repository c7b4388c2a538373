# Conversion drivers and whole chains against the codec libraries called directly.
tembrel_add_bench(acm OWN_MAIN LIBS deaudio platform_acm soxr mp3lame gsm)
