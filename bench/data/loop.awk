# The script-engine loop in gawk: the same passes and the same string operation.
BEGIN {
  for (i = 1; i <= 1000000; i++)
    s = substr("abcdefghij", i % 5 + 1, 3)
  print "X-Loop: " s
}
