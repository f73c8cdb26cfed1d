#!/usr/bin/perl
# Rosters as school administration systems export them with Perl's Spreadsheet::WriteExcel:
# that writer keeps records such as MERGEDCELLS among the cell records of the rows. Writes
# tests/data/we-roster3.xls (three classes, a merged title, merged notes between rows).
# Needs libspreadsheet-writeexcel-perl. Usage: tools/make-writeexcel-fixtures.pl [OUTPUT]
use strict;
use warnings;
use utf8;
use FindBin;
use Spreadsheet::WriteExcel;

my $out = shift // "$FindBin::Bin/../tests/data/we-roster3.xls";
my $book = Spreadsheet::WriteExcel->new($out) or die "cannot create $out: $!";
my $title = $book->add_format(bold => 1, align => 'center');
my $note = $book->add_format(align => 'center', valign => 'vcenter');
my @classes = (['高一(1)班', 12], ['高一(2)班', 40], ['高一(3)班', 7]);
for my $c (@classes) {
  my ($name, $n) = @$c;
  my $ws = $book->add_worksheet($name);
  $ws->merge_range(0, 0, 0, 6, "$name 点名册", $title);
  my @head = ('学号', '姓名', '性别', '备注', '组别', '12月01', '12月03');
  $ws->write_string(1, $_, $head[$_]) for 0 .. $#head;
  for my $i (1 .. $n) {
    my $row = $i + 1;
    $ws->write_number($row, 0, $i);
    $ws->write_string($row, 1, "学生$i");
    $ws->write_string($row, 2, $i % 2 ? '男' : '女');
    # Every fifth student a note over two columns: its MERGEDCELLS lands between the rows.
    if ($i % 5 == 0) {
      $ws->merge_range($row, 3, $row, 4, "转入$i", $note);
    }
    $ws->write_number($row, 5, $i % 4) if $i % 3;
    $ws->write_number($row, 6, ($i * 7) % 10) if $i % 2;
  }
}
$book->close() or die "cannot write $out: $!";
