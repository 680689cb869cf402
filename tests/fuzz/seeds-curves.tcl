# Seeds for the table-file reader: a table written by a curve, and cuts in
# the magic word, right after it and one byte short.
expkurve k 60000 0.5 0.05 2.0 0.3 0.3
k table_write $tmp/a.tab
k -delete
seeds eichtabelle $tmp/a.tab {0 11 12 13 262155}
