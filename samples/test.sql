-- The sample database of the demonstration program: a department tree and its employees.
-- Built into test.mdb by the build as a Jet 4 file (vljet, which runs it through SQLite first), and
-- into sqlite/test.mdb with the sqlite3 command-line tool. Every value must be one a Jet file can hold
-- (a yes/no cannot be null), so that both give the same document. Memo columns are declared LONGTEXT
-- and text columns NVARCHAR so that SQLite keeps texts such as '001002' as text (a MEMO, DATETIME
-- or CURRENCY column has numeric affinity and would turn '001002' into the number 1002).
PRAGMA encoding = 'UTF-8';
BEGIN TRANSACTION;

CREATE TABLE Bas_Department (
  ID INTEGER PRIMARY KEY AUTOINCREMENT,
  DeptNo INTEGER NOT NULL,
  DeptName NVARCHAR(20),
  DeptCode NVARCHAR(20),
  ParentNo INTEGER,
  PathNo LONGTEXT,
  PathName LONGTEXT,
  Level INTEGER,
  Ord INTEGER
);

CREATE TABLE Bas_Employee (
  ID INTEGER PRIMARY KEY AUTOINCREMENT,
  EmpNo NVARCHAR(10) NOT NULL,
  EmpName NVARCHAR(20),
  Sex NVARCHAR(2),
  Birthday DATETIME,
  HireDate DATETIME,
  Salary CURRENCY,
  Married YESNO,
  DeptNo INTEGER,
  Memo LONGTEXT
);

INSERT INTO Bas_Department (DeptNo, DeptName, DeptCode, ParentNo, PathNo, PathName, Level, Ord) VALUES (3, '研发中心', 'RD', 1, '001002', '总公司/研发中心', 2, 1);
INSERT INTO Bas_Department (DeptNo, DeptName, DeptCode, ParentNo, PathNo, PathName, Level, Ord) VALUES (1, '总公司', 'HQ', 0, '001', '总公司', 1, 1);
INSERT INTO Bas_Department (DeptNo, DeptName, DeptCode, ParentNo, PathNo, PathName, Level, Ord) VALUES (6, '销售部', 'SALES', 1, '001003', '总公司/销售部', 2, 2);
INSERT INTO Bas_Department (DeptNo, DeptName, DeptCode, ParentNo, PathNo, PathName, Level, Ord) VALUES (2, '行政部', 'ADM', 1, '001001', '总公司/行政部', 2, 3);
INSERT INTO Bas_Department (DeptNo, DeptName, DeptCode, ParentNo, PathNo, PathName, Level, Ord) VALUES (9, '财务部', 'FIN', 1, '001004', '总公司/财务部', 2, 4);
INSERT INTO Bas_Department (DeptNo, DeptName, DeptCode, ParentNo, PathNo, PathName, Level, Ord) VALUES (4, '软件开发部', 'RD-SW', 3, '001002001', '总公司/研发中心/软件开发部', 3, 1);
INSERT INTO Bas_Department (DeptNo, DeptName, DeptCode, ParentNo, PathNo, PathName, Level, Ord) VALUES (12, '客户服务部', 'CS', 1, '001006', '总公司/客户服务部', 2, 5);
INSERT INTO Bas_Department (DeptNo, DeptName, DeptCode, ParentNo, PathNo, PathName, Level, Ord) VALUES (5, '测试部', 'RD-QA', 3, '001002002', '总公司/研发中心/测试部', 3, 2);
INSERT INTO Bas_Department (DeptNo, DeptName, DeptCode, ParentNo, PathNo, PathName, Level, Ord) VALUES (7, '华北销售处', 'SALES-N', 6, '001003001', '总公司/销售部/华北销售处', 3, 1);
INSERT INTO Bas_Department (DeptNo, DeptName, DeptCode, ParentNo, PathNo, PathName, Level, Ord) VALUES (11, 'R&D <实验室>', NULL, 3, '001002003', '总公司/研发中心/R&D <实验室>', 3, 3);
INSERT INTO Bas_Department (DeptNo, DeptName, DeptCode, ParentNo, PathNo, PathName, Level, Ord) VALUES (10, '人力资源部', 'HR', 1, '001005', '总公司/人力资源部', 2, 6);
INSERT INTO Bas_Department (DeptNo, DeptName, DeptCode, ParentNo, PathNo, PathName, Level, Ord) VALUES (8, '华南销售处', 'SALES-S', 6, '001003002', '总公司/销售部/华南销售处', 3, 2);

INSERT INTO Bas_Employee (EmpNo, EmpName, Sex, Birthday, HireDate, Salary, Married, DeptNo, Memo) VALUES ('0001', '徐静', '女', '1965-02-27', '2012-02-12', 10500.00, 0, 2, '组长 "A" 级 & <优秀>');
INSERT INTO Bas_Employee (EmpNo, EmpName, Sex, Birthday, HireDate, Salary, Married, DeptNo, Memo) VALUES ('0002', '张娟', '女', '1966-04-03', '2012-07-02', 14500.00, 0, 2, NULL);
INSERT INTO Bas_Employee (EmpNo, EmpName, Sex, Birthday, HireDate, Salary, Married, DeptNo, Memo) VALUES ('0003', '高华', '女', '1965-04-02', '2012-03-10', 8000.00, 0, 7, NULL);
INSERT INTO Bas_Employee (EmpNo, EmpName, Sex, Birthday, HireDate, Salary, Married, DeptNo, Memo) VALUES ('0004', '林晓燕', '男', NULL, '2015-04-12', 3000.00, 0, 5, '生日未登记');
INSERT INTO Bas_Employee (EmpNo, EmpName, Sex, Birthday, HireDate, Salary, Married, DeptNo, Memo) VALUES ('0005', '郭晓燕', '女', '1982-08-19', '2016-06-10', 5000.00, 0, 3, NULL);
INSERT INTO Bas_Employee (EmpNo, EmpName, Sex, Birthday, HireDate, Salary, Married, DeptNo, Memo) VALUES ('0006', '高洋', '女', '1983-12-15', '2012-10-03', NULL, 0, 7, NULL);
INSERT INTO Bas_Employee (EmpNo, EmpName, Sex, Birthday, HireDate, Salary, Married, DeptNo, Memo) VALUES ('0007', '陈明', '女', '1964-11-03', '2019-09-19', 14000.50, 1, 8, NULL);
INSERT INTO Bas_Employee (EmpNo, EmpName, Sex, Birthday, HireDate, Salary, Married, DeptNo, Memo) VALUES ('0008', '罗明', '女', '1966-02-09', '2023-03-01 08:30:00', 2500.00, 1, 11, NULL);
INSERT INTO Bas_Employee (EmpNo, EmpName, Sex, Birthday, HireDate, Salary, Married, DeptNo, Memo) VALUES ('0009', '吴志强', '女', '1984-01-15', '2015-03-20', 3000.25, 0, 5, NULL);
INSERT INTO Bas_Employee (EmpNo, EmpName, Sex, Birthday, HireDate, Salary, Married, DeptNo, Memo) VALUES ('0010', '吴静', '男', '1987-07-28', '2022-02-06', 8500.25, 1, 99, '调入手续未完成，部门编号 99 尚未建立');
INSERT INTO Bas_Employee (EmpNo, EmpName, Sex, Birthday, HireDate, Salary, Married, DeptNo, Memo) VALUES ('0011', '朱秀英', '女', '1988-06-22', '2020-04-05', 2500.00, 0, 5, NULL);
INSERT INTO Bas_Employee (EmpNo, EmpName, Sex, Birthday, HireDate, Salary, Married, DeptNo, Memo) VALUES ('0012', '赵伟', '女', '1973-05-10', '1995-03-14', 10000.50, 1, 4, NULL);
INSERT INTO Bas_Employee (EmpNo, EmpName, Sex, Birthday, HireDate, Salary, Married, DeptNo, Memo) VALUES ('0013', '何平', NULL, '1991-11-26', '2019-07-13', 7500.25, 0, 12, NULL);
INSERT INTO Bas_Employee (EmpNo, EmpName, Sex, Birthday, HireDate, Salary, Married, DeptNo, Memo) VALUES ('0014', '马芳', '男', '1966-04-15', '2000-02-11', 11000.00, 0, 1, NULL);
INSERT INTO Bas_Employee (EmpNo, EmpName, Sex, Birthday, HireDate, Salary, Married, DeptNo, Memo) VALUES ('0015', '高静', '男', '1985-10-01', '2007-04-20', 7500.00, 1, 8, '备注：
第二行');
INSERT INTO Bas_Employee (EmpNo, EmpName, Sex, Birthday, HireDate, Salary, Married, DeptNo, Memo) VALUES ('0016', '罗艳', '女', '1969-02-28', '2010-08-16', 9000.50, 0, 4, NULL);
INSERT INTO Bas_Employee (EmpNo, EmpName, Sex, Birthday, HireDate, Salary, Married, DeptNo, Memo) VALUES ('0017', '刘海燕', '女', '1978-08-27', '2020-03-17', 1500.00, 1, 4, NULL);
INSERT INTO Bas_Employee (EmpNo, EmpName, Sex, Birthday, HireDate, Salary, Married, DeptNo, Memo) VALUES ('0018', '林伟', '女', '1967-12-28', '2003-09-12', 4000.50, 0, 12, NULL);
INSERT INTO Bas_Employee (EmpNo, EmpName, Sex, Birthday, HireDate, Salary, Married, DeptNo, Memo) VALUES ('0019', '徐建国', '男', '1974-04-27', '2007-12-26', 5000.00, 1, 8, NULL);
INSERT INTO Bas_Employee (EmpNo, EmpName, Sex, Birthday, HireDate, Salary, Married, DeptNo, Memo) VALUES ('0020', '王伟', '女', '1992-05-07', '2023-10-12', 8500.50, 1, 3, NULL);
INSERT INTO Bas_Employee (EmpNo, EmpName, Sex, Birthday, HireDate, Salary, Married, DeptNo, Memo) VALUES ('0021', '赵敏', '男', '1992-04-11', '2015-08-20', 11000.00, 1, 8, '');
INSERT INTO Bas_Employee (EmpNo, EmpName, Sex, Birthday, HireDate, Salary, Married, DeptNo, Memo) VALUES ('0022', '张晓燕', '男', '1986-12-25', '2012-08-06', 8000.50, 0, 8, NULL);
INSERT INTO Bas_Employee (EmpNo, EmpName, Sex, Birthday, HireDate, Salary, Married, DeptNo, Memo) VALUES ('0023', '胡杰', '男', '1972-03-05', '1995-03-19', 8500.00, 1, 8, NULL);
INSERT INTO Bas_Employee (EmpNo, EmpName, Sex, Birthday, HireDate, Salary, Married, DeptNo, Memo) VALUES ('0024', '陈秀英', '男', '1963-01-26', '2018-11-04', 9500.00, 1, 5, NULL);
INSERT INTO Bas_Employee (EmpNo, EmpName, Sex, Birthday, HireDate, Salary, Married, DeptNo, Memo) VALUES ('0025', '黄伟', '女', '1975-05-17', '2002-10-11', 5500.25, 0, 2, NULL);
INSERT INTO Bas_Employee (EmpNo, EmpName, Sex, Birthday, HireDate, Salary, Married, DeptNo, Memo) VALUES ('0026', '孙涛', '女', '1994-03-18', '2016-09-17', 1500.25, 0, 1, NULL);
INSERT INTO Bas_Employee (EmpNo, EmpName, Sex, Birthday, HireDate, Salary, Married, DeptNo, Memo) VALUES ('0027', '陈丽', '男', '1992-10-24', '2013-09-02', 6500.25, 0, 2, NULL);
INSERT INTO Bas_Employee (EmpNo, EmpName, Sex, Birthday, HireDate, Salary, Married, DeptNo, Memo) VALUES ('0028', '赵强', '女', '1964-02-17', '2009-09-01', 13500.00, 1, 7, NULL);
INSERT INTO Bas_Employee (EmpNo, EmpName, Sex, Birthday, HireDate, Salary, Married, DeptNo, Memo) VALUES ('0029', '罗超', '男', '1979-08-17', '2016-08-17', 5000.50, 0, 11, NULL);
INSERT INTO Bas_Employee (EmpNo, EmpName, Sex, Birthday, HireDate, Salary, Married, DeptNo, Memo) VALUES ('0030', '陈娟', '男', '1987-08-11', '2009-11-08', 8000.00, 0, 7, NULL);
INSERT INTO Bas_Employee (EmpNo, EmpName, Sex, Birthday, HireDate, Salary, Married, DeptNo, Memo) VALUES ('0031', '刘静', '女', '1971-05-05', '2009-04-24', 12.5, 1, 4, NULL);
INSERT INTO Bas_Employee (EmpNo, EmpName, Sex, Birthday, HireDate, Salary, Married, DeptNo, Memo) VALUES ('0032', '赵丽', '女', '1994-07-11', '2020-04-12', 6500.00, 1, 1, NULL);
INSERT INTO Bas_Employee (EmpNo, EmpName, Sex, Birthday, HireDate, Salary, Married, DeptNo, Memo) VALUES ('0033', '徐秀英', '女', '1990-12-01', '2016-06-17', 11000.50, 0, 4, NULL);
INSERT INTO Bas_Employee (EmpNo, EmpName, Sex, Birthday, HireDate, Salary, Married, DeptNo, Memo) VALUES ('0034', '赵敏', '男', '1978-05-02', '2022-03-09', 13500.00, 1, 6, NULL);
INSERT INTO Bas_Employee (EmpNo, EmpName, Sex, Birthday, HireDate, Salary, Married, DeptNo, Memo) VALUES ('0035', '马静', '女', '1982-02-09', '2003-12-06', 8000.00, 1, 1, NULL);
INSERT INTO Bas_Employee (EmpNo, EmpName, Sex, Birthday, HireDate, Salary, Married, DeptNo, Memo) VALUES ('0036', '张军', '男', '1976-02-09', '2023-02-15', 1500.50, 1, 6, NULL);

COMMIT;
