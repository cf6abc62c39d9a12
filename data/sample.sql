-- Sample database published by the demo server (scripts/run.sh).
-- Column types follow the engine's declared-type names, so every field type appears:
-- auto-number, text of a fixed size, memo (LONGTEXT: a MEMO column would let SQLite turn
-- numeric-looking text into numbers), long, currency, date/time and yes/no.
PRAGMA journal_mode = WAL;

CREATE TABLE Customers (
  CustomerID INTEGER PRIMARY KEY AUTOINCREMENT,
  CompanyName VARCHAR(40) NOT NULL,
  ContactName VARCHAR(30),
  City VARCHAR(20),
  Country VARCHAR(20),
  Phone VARCHAR(24),
  Notes LONGTEXT
);

CREATE TABLE Products (
  ProductID INTEGER PRIMARY KEY AUTOINCREMENT,
  ProductName VARCHAR(40) NOT NULL UNIQUE,
  UnitPrice CURRENCY,
  UnitsInStock LONG,
  Discontinued YESNO NOT NULL DEFAULT 0
);

CREATE TABLE Orders (
  OrderID INTEGER PRIMARY KEY AUTOINCREMENT,
  CustomerID LONG NOT NULL REFERENCES Customers(CustomerID),
  ProductID LONG NOT NULL REFERENCES Products(ProductID),
  Quantity SMALLINT NOT NULL,
  OrderDate DATETIME,
  Shipped YESNO NOT NULL DEFAULT 0
);

INSERT INTO Customers (CompanyName, ContactName, City, Country, Phone, Notes) VALUES
  ('Alder Bakery', 'Maria Anders', 'Berlin', 'Germany', '030-0074321', 'Pays on delivery.'),
  ('Birch Provisions', 'Ana Trujillo', 'México D.F.', 'Mexico', '(5) 555-4729', NULL),
  ('Cedar Market', 'Antonio Moreno', 'México D.F.', 'Mexico', '(5) 555-3932', NULL),
  ('Dogwood Traders', 'Thomas Hardy', 'London', 'UK', '(171) 555-7788', 'Prefers morning calls.'),
  ('Elm Street Foods', 'Christina Berglund', 'Luleå', 'Sweden', '0921-12 34 65', NULL),
  ('Fir & Fennel', 'Hanna Moos', 'Mannheim', 'Germany', '0621-08460', NULL),
  ('Ginkgo Grocers', 'Frédérique Citeaux', 'Strasbourg', 'France', '88.60.15.31', 'Closed in August.'),
  ('Hazel Deli', 'Martín Sommer', 'Madrid', 'Spain', '(91) 555 22 82', NULL),
  ('Ironwood Imports', 'Laurence Lebihan', 'Marseille', 'France', '91.24.45.40', NULL),
  ('Juniper Foods', 'Elizabeth Lincoln', 'Tsawassen', 'Canada', '(604) 555-4729', NULL),
  ('Kauri Kitchen', 'Victoria Ashworth', 'London', 'UK', '(171) 555-1212', NULL),
  ('Larch Larder', 'Patricio Simpson', 'Buenos Aires', 'Argentina', NULL, NULL);

-- A further 108 customers, so that browsing and finding have something to go through.
WITH RECURSIVE n(i) AS (SELECT 13 UNION ALL SELECT i + 1 FROM n WHERE i < 120)
INSERT INTO Customers (CompanyName, ContactName, City, Country, Phone, Notes)
SELECT 'Customer ' || printf('%03d', i),
       CASE WHEN i % 7 = 0 THEN NULL ELSE 'Contact ' || i END,
       CASE i % 5 WHEN 0 THEN 'Berlin' WHEN 1 THEN 'London' WHEN 2 THEN 'Paris'
                  WHEN 3 THEN 'Madrid' ELSE 'Seattle' END,
       CASE i % 5 WHEN 0 THEN 'Germany' WHEN 1 THEN 'UK' WHEN 2 THEN 'France'
                  WHEN 3 THEN 'Spain' ELSE 'USA' END,
       printf('555-%04d', i * 37 % 10000),
       NULL
FROM n;

INSERT INTO Products (ProductName, UnitPrice, UnitsInStock, Discontinued) VALUES
  ('Chai', 18.0, 39, 0),
  ('Chang', 19.0, 17, 0),
  ('Aniseed Syrup', 10.0, 13, 0),
  ('Cajun Seasoning', 22.0, 53, 0),
  ('Gumbo Mix', 21.35, 0, 1),
  ('Boysenberry Spread', 25.0, 120, 0),
  ('Dried Pears', 30.0, 15, 0),
  ('Cranberry Sauce', 40.0, 6, 0),
  ('Mishi Kobe Niku', 97.0, 29, 1),
  ('Ikura', 31.0, 31, 0),
  ('Queso Cabrales', 21.0, 22, 0),
  ('Queso Manchego', 38.0, 86, 0),
  ('Konbu', 6.0, 24, 0),
  ('Tofu', 23.25, 35, 0),
  ('Genen Shouyu', 15.5, 39, 0),
  ('Pavlova', 17.45, 29, 0),
  ('Alice Mutton', 39.0, 0, 1),
  ('Carnarvon Tigers', 62.5, 42, 0),
  ('Teatime Biscuits', 9.2, 25, 0),
  ('Marmalade', 81.0, 40, 0),
  ('Scones', 10.0, 3, 0),
  ('Rye Bread', 21.0, 104, 0),
  ('Crispbread', 9.0, 61, 0),
  ('Guaraná', 4.5, 20, 1),
  ('Nougat Cream', 14.0, 76, 0),
  ('Gummibärchen', 31.23, 15, 0),
  ('Chocolate', 43.9, 49, 0),
  ('Sauerkraut', 45.6, 26, 1),
  ('Bratwurst', 123.79, 0, 1),
  ('Herring', 25.89, 10, 0),
  ('Gorgonzola', 12.5, 0, 0),
  ('Mascarpone', 32.0, 9, 0),
  ('Geitost', 2.5, 112, 0),
  ('Sasquatch Ale', 14.0, 111, 0),
  ('Steeleye Stout', 18.0, 20, 0),
  ('Pickled Herring', 19.0, 112, 0),
  ('Gravad Lax', 26.0, 11, 0),
  ('Côte de Blaye', 263.5, 17, 0),
  ('Chartreuse Verte', 18.0, 69, 0),
  ('Crab Meat', 18.4, 123, 0);

-- 300 orders spread over customers, products and the year 2026.
WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 300)
INSERT INTO Orders (CustomerID, ProductID, Quantity, OrderDate, Shipped)
SELECT (i * 7) % 120 + 1,
       (i * 13) % 40 + 1,
       (i * 3) % 50 + 1,
       CASE WHEN i % 25 = 0 THEN NULL
            ELSE strftime('%Y-%m-%d %H:%M:%S', '2026-01-01', '+' || (i % 330) || ' days',
                          '+' || (i * 17 % 600) || ' minutes') END,
       i % 3 = 0
FROM n;

-- Saved queries.
CREATE VIEW [Products In Stock] AS
  SELECT ProductID, ProductName, UnitPrice, UnitsInStock
  FROM Products WHERE UnitsInStock > 0 AND Discontinued = 0;

CREATE VIEW [Customers In London] AS
  SELECT CustomerID, CompanyName, ContactName, Phone
  FROM Customers WHERE City = 'London';
